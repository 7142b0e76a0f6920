#include "app/consoleoutput.h"

#include "app/progressline.h"
#include "manifest/outsidetext.h"

#include <QIODevice>
#include <QTimer>

#include <sys/ioctl.h>

namespace {

// Back to the line's start and erase it.
const QLatin1String EraseLine("\r\x1b[K");
const int DefaultWidth = 80;

} // namespace

ConsoleOutput::ConsoleOutput(
    RunTracker* tracker, QIODevice* out, QIODevice* err, int terminalFd, QObject* parent)
    : QObject(parent)
    , tracker(tracker)
    , out(out)
    , err(err)
    , terminalFd(terminalFd)
    , redrawTimer(new QTimer(this))
    , plainTimer(new QTimer(this))
{
    redrawTimer->setSingleShot(true);
    connect(redrawTimer, &QTimer::timeout, this, &ConsoleOutput::draw);
    plainTimer->setInterval(PlainProgressMs);
    connect(plainTimer, &QTimer::timeout, this, &ConsoleOutput::draw);
    connect(tracker, &RunTracker::logged, this, &ConsoleOutput::onLogged);
    connect(tracker, &RunTracker::phaseChanged, this, &ConsoleOutput::onPhaseChanged);
    connect(tracker, &RunTracker::progressChanged, this, &ConsoleOutput::scheduleDraw);
}

void ConsoleOutput::write(QIODevice* device, const QString& text)
{
    device->write(text.toLocal8Bit());
}

void ConsoleOutput::clearLine()
{
    if (!lineShown)
        return;
    write(out, EraseLine);
    lineShown = false;
}

void ConsoleOutput::print(const QString& text)
{
    clearLine();
    write(out, OutsideText::escaped(text) + QLatin1Char('\n'));
    scheduleDraw();
}

void ConsoleOutput::printError(const QString& text)
{
    clearLine();
    write(err, tr("Error: %1").arg(OutsideText::escaped(text)) + QLatin1Char('\n'));
    scheduleDraw();
}

void ConsoleOutput::finish()
{
    clearLine();
    finished = true;
    redrawTimer->stop();
    plainTimer->stop();
}

void ConsoleOutput::onLogged(const QString& line, RunTracker::LineKind kind)
{
    if (kind == RunTracker::LineKind::Error)
        printError(line);
    else if (kind == RunTracker::LineKind::Info)
        print(line);
}

void ConsoleOutput::onPhaseChanged()
{
    if (finished)
        return;
    // Each step begins with its line at once; off a terminal the step's
    // line is the progress line of the moment.
    draw();
    if (terminalFd < 0)
        plainTimer->start();
}

void ConsoleOutput::scheduleDraw()
{
    if (finished || terminalFd < 0 || redrawTimer->isActive())
        return;
    const qint64 since = lastDraw.isValid() ? lastDraw.elapsed() : RedrawMs;
    redrawTimer->start(int(qMax<qint64>(0, RedrawMs - since)));
}

void ConsoleOutput::draw()
{
    if (finished)
        return;
    lastDraw.start();
    const QString line
        = OutsideText::escaped(ProgressLine::format(tracker->figures()), OutsideText::EscapeBreaks);
    if (terminalFd < 0) {
        write(out, line + QLatin1Char('\n'));
        return;
    }
    // A line longer than the terminal would wrap, and the next redraw would
    // then leave its first part standing.
    write(out, EraseLine + line.left(terminalWidth() - 1));
    lineShown = true;
}

int ConsoleOutput::terminalWidth() const
{
    winsize size {};
    if (::ioctl(terminalFd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return DefaultWidth;
    return size.ws_col;
}
