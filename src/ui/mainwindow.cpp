#include "ui/mainwindow.h"

#include "app/configuration.h"
#include "app/exitcode.h"
#include "app/processtools.h"
#include "app/singleinstancechecker.h"
#include "manifest/outsidetext.h"
#include "ui/changelogviewer.h"
#include "ui/weblinkopener.h"
#include "update/installationrecord.h"
#include "update/updateengine.h"
#include "update/updateinidata.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLocale>
#include <QPixmap>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QtDebug>

namespace {

const int LaunchDelayMs = 1000;
const QString ProductAddress = QStringLiteral("https://www.voxmeadow.net/");
const QString InstallLogPrefix = QStringLiteral("add/replace ");
const QString DownloadLogLine = QStringLiteral("Downloading files");
// Lines arriving within this time enter the log view together.
const int LogFlushMs = 100;
const int ProgressRepaintMs = 50;
// The log view keeps the latest lines only: a run over hundreds of
// thousands of files would otherwise hold all of them.
const int MaxLogLines = 10000;

QString smallPrint(const QString& text)
{
    return QStringLiteral("<span style=\"font-size:small;\">") + text + QStringLiteral("</span>");
}

// Figures up to 10 MB stay in whole KB, written plainly; larger ones go to
// MB, and beyond 10 GB to GB, grouped as the locale writes numbers.
enum class ByteUnit { KB, MB, GB };

ByteUnit unitFor(quint64 bytes)
{
    if (bytes > 10000000000ULL)
        return ByteUnit::GB;
    return bytes > 10000000ULL ? ByteUnit::MB : ByteUnit::KB;
}

QString figure(quint64 bytes, ByteUnit unit)
{
    switch (unit) {
    case ByteUnit::GB: return QLocale().toString(bytes / 1000000000ULL);
    case ByteUnit::MB: return QLocale().toString(bytes / 1000000ULL);
    case ByteUnit::KB: break;
    }
    return QString::number(bytes / 1000ULL);
}

QString rateText(quint64 bytesPerSecond)
{
    const ByteUnit unit = unitFor(bytesPerSecond);
    const QString rate = figure(bytesPerSecond, unit);
    switch (unit) {
    case ByteUnit::MB: return MainWindow::tr("%1 MB/s").arg(rate);
    case ByteUnit::GB: return MainWindow::tr("%1 GB/s").arg(rate);
    case ByteUnit::KB: break;
    }
    return MainWindow::tr("%1 KB/s").arg(rate);
}

QString durationText(qint64 seconds)
{
    if (seconds >= 3600)
        return MainWindow::tr("%1 h %2 min left")
            .arg(seconds / 3600)
            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'));
    if (seconds >= 60)
        return MainWindow::tr("%1 min %2 s left")
            .arg(seconds / 60)
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return MainWindow::tr("%1 s left").arg(seconds);
}

} // namespace

MainWindow::MainWindow(Configuration& config, const QString& bannerHost, quint16 bannerPort)
    : QWidget(nullptr)
    , ui(new Ui::MainWindow)
    , config(&config)
    , engine(new UpdateEngine(config.layout(), config.settings(), this))
    , launchMode(false)
    , closeRequested(false)
    , singleInstanceChecker(nullptr)
{
    connect(engine, &UpdateEngine::error, this, &MainWindow::onError);
    connect(engine, &UpdateEngine::fatalError, this, &MainWindow::onFatalError);
    connect(engine, &UpdateEngine::fatalConfigError, this, &MainWindow::onFatalConfigError);
    connect(engine, &UpdateEngine::updateProgress, this, &MainWindow::onProgressUpdate);
    connect(engine, &UpdateEngine::downloadProgress, this, &MainWindow::onDownloadProgress);
    connect(engine, &UpdateEngine::message, this, &MainWindow::onAppendText);
    connect(engine, &UpdateEngine::updateFinished, this, &MainWindow::onUpdateFinished);
    connect(engine, &UpdateEngine::updateCanceled, this, &MainWindow::onUpdateCanceled);
    connect(engine, &UpdateEngine::bannerFound, this, &MainWindow::onBannerFound);

    ui->setupUi(this);
    logFlushTimer = new QTimer(this);
    logFlushTimer->setSingleShot(true);
    logFlushTimer->setInterval(LogFlushMs);
    connect(logFlushTimer, &QTimer::timeout, this, &MainWindow::onFlushLog);
    progressTimer = new QTimer(this);
    progressTimer->setSingleShot(true);
    progressTimer->setInterval(ProgressRepaintMs);
    connect(progressTimer, &QTimer::timeout, this, &MainWindow::showProgress);
    // After the toggle has shown or hidden the log.
    connect(
        ui->detailsButton, &QPushButton::clicked, this, &MainWindow::onDetailsPressed, Qt::QueuedConnection);
    connect(ui->detailsButton, &QPushButton::toggled, this, &MainWindow::onDetailsToggled);
    ui->voxmeadowLabel->setUrl(ProductAddress);
    ui->outputTextEdit->document()->setMaximumBlockCount(MaxLogLines);
    ui->outputTextEdit->hide();
    ui->statusLabel->hide();
    onDownloadProgress(0, 0, 0, false);

    singleInstanceChecker = new SingleInstanceChecker(this);
    connect(singleInstanceChecker, &SingleInstanceChecker::otherInstanceActivate, this,
        &MainWindow::onOtherInstanceActivate);
    connect(&config, &Configuration::fatalError, this, &MainWindow::onFatalConfigError);
    connect(&config, &Configuration::message, this, &MainWindow::onAppendText);
    engine->setBannerServer(bannerHost, bannerPort);
    engine->getBanner();
}

MainWindow::~MainWindow()
{
    // The engine is destroyed with the window's children, after this part of
    // the window: nothing it says on the way may reach these slots.
    disconnect(engine, nullptr, this, nullptr);
    writeTerminalLog();
}

void MainWindow::setPrompt(Prompt prompt)
{
    this->prompt = std::move(prompt);
}

bool MainWindow::askRetryVersionQuery()
{
    return ask(boxParent(), QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"),
               QCoreApplication::translate(
                   "QObject", "Failed to query latest client\nversion from update server."),
               QMessageBox::Retry | QMessageBox::Abort)
        == QMessageBox::Retry;
}

QWidget* MainWindow::boxParent()
{
    // Centred on the window once it is shown; before that, on the screen.
    return isVisible() ? this : nullptr;
}

QMessageBox::StandardButton MainWindow::ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
    const QString& text, QMessageBox::StandardButtons buttons, Qt::TextFormat format)
{
    if (prompt)
        return prompt(parent, icon, title, text, buttons);
    return showMessageBox(parent, icon, title, text, buttons, format);
}

QMessageBox::StandardButton MainWindow::showMessageBox(QWidget* parent, QMessageBox::Icon icon,
    const QString& title, const QString& text, QMessageBox::StandardButtons buttons, Qt::TextFormat format)
{
    QMessageBox box(
        icon, title, format == Qt::PlainText ? OutsideText::escaped(text) : text, buttons, parent);
    box.setTextFormat(format);
    // Return must never answer a question with its first button (Yes).
    if (icon == QMessageBox::Question)
        box.setDefaultButton(QMessageBox::No);
    if (box.exec() == -1)
        return QMessageBox::Cancel;
    return box.standardButton(box.clickedButton());
}

QString MainWindow::offerName() const
{
    const UpdateTypeDesc& offer = config->updateTypeDesc;
    return offer.versionLabel.isEmpty() ? tr("Voxmeadow version %1").arg(offer.version)
                                        : tr("Voxmeadow %1").arg(offer.versionLabel);
}

void MainWindow::setHeading(const QString& text)
{
    QString channelName;
    switch (config->updateTypeDesc.channel) {
    case Stable: channelName = tr("Stable"); break;
    case Beta: channelName = tr("Beta"); break;
    case Alpha: channelName = tr("Alpha"); break;
    }
    QString html;
    if (!text.isEmpty())
        html = QStringLiteral("<div style=\"font-weight:bold;font-size:14px\">%1</div>")
                   .arg(OutsideText::escaped(text, OutsideText::EscapeBreaks).toHtmlEscaped());
    html += QStringLiteral("<div style=\"margin-top:8px\">")
        + tr("You are currently on <strong>%1 channel</strong>.").arg(channelName) + QStringLiteral("</div>");
    // A staging server is no player's normal state: it shows.
    if (!config->settings().updateServer.isEmpty())
        html += QStringLiteral("<div>")
            + tr("Update server: %1 (from update.ini)").arg(config->settings().updateServer.toHtmlEscaped())
            + QStringLiteral("</div>");
    ui->versionLabel->setText(html);
}

void MainWindow::setUIToConfigSpecs()
{
    const UpdateTypeDesc& offer = config->updateTypeDesc;
    // The last run that ended well recorded the offered version, and no
    // run has begun since: only a run compares the files, so the button
    // still starts one, but nothing says an update is coming.
    const InstallationRecord installed = InstallationRecord::read(config->layout());
    const bool recorded = installed.isValid() && installed.updateType == offer.updateType
        && installed.version == offer.version
        && !UpdateIniData::get(config->layout(), nullptr, nullptr, nullptr);
    if (!config->declinedOffer.isEmpty())
        setHeading(tr("Voxmeadow is newer than the offered version"));
    else if (offer.version <= 0)
        setHeading(QString());
    else if (recorded)
        setHeading(tr("%1 is installed").arg(offerName()));
    else if (!offer.versionLabel.isEmpty())
        setHeading(tr("Update to Voxmeadow %1").arg(offer.versionLabel));
    else
        setHeading(tr("Update to Voxmeadow version %1").arg(offer.version));
    // Nothing to install: the client as it is can be started.
    if (!config->declinedOffer.isEmpty()) {
        launchMode = true;
        setStatus(config->declinedOffer);
        ui->startButton->setText(tr("Start Voxmeadow"));
        return;
    }
    setStatus(QStringList({ config->offer.heldBackNote(), config->freshnessNote })
                  .join(QLatin1Char(' '))
                  .trimmed());
    ui->startButton->setText(recorded ? tr("Check Files") : tr("Start Update"));
    if (config->noUserMode == 1)
        ui->startButton->setEnabled(false);
}

void MainWindow::setNews()
{
    ui->newsBanner->setNews(config->updateTypeDesc.news);
}

void MainWindow::onFatalConfigError(QString errorMessage)
{
    // Also on stderr, after what led to it: the box may appear where nobody
    // can see it.
    onFlushLog();
    qWarning().noquote() << "Error:" << errorMessage;
    if (!unattended)
        ask(boxParent(), QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
            QMessageBox::Ok);
    QCoreApplication::exit(1);
}

void MainWindow::onFatalError(QString errorMessage)
{
    onFlushLog();
    qWarning().noquote() << "Error:" << errorMessage;
    if (!unattended)
        ask(this, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
            QMessageBox::Ok);
    QCoreApplication::exit(2);
}

void MainWindow::onError(QString errorMessage)
{
    onAppendText(errorMessage);
    // The run cancels itself after this, which ends an unattended program.
    if (unattended)
        return;
    ask(this, QMessageBox::Critical, QCoreApplication::translate("QObject", "Error"), errorMessage,
        QMessageBox::Ok);
}

void MainWindow::onAutoStartUpdate()
{
    on_startButton_clicked();
}

void MainWindow::on_startButton_clicked()
{
    if (launchMode) {
        ProcessTools::startVx3Client();
        close();
        return;
    }
    if (engine->busy())
        return;
    engine->setFullCheck(config->fullCheck);
    if (engine->initialize(config->updateTypeDesc)) {
        ui->startButton->setEnabled(false);
        failure.clear();
        setStatus(QString());
        engine->startUpdate();
    }
}

void MainWindow::setStatus(const QString& text)
{
    ui->statusLabel->setText(OutsideText::escaped(text));
    ui->statusLabel->setVisible(!text.isEmpty());
}

// Says what the run is doing now, from the lines it logs.
void MainWindow::noteActivity(const QString& logLine)
{
    failure.note(logLine);
    if (closeRequested || !engine->busy())
        return;
    // One line per installed file: the label shows the latest at each flush.
    if (logLine.startsWith(InstallLogPrefix))
        latestInstallLine = logLine;
    else if (logLine == DownloadLogLine)
        setStatus(tr("Downloading files..."));
}

void MainWindow::onAppendText(QString text)
{
    noteActivity(text);
    pendingLog.append(text);
    if (!logFlushTimer->isActive())
        logFlushTimer->start();
}

void MainWindow::writeTerminalLog()
{
    // The log also goes to the terminal, for runs nobody watches; in one
    // write per flush, as thousands of files make thousands of lines.
    if (!pendingLog.isEmpty())
        qInfo().noquote() << pendingLog.join(QLatin1Char('\n'));
}

void MainWindow::onFlushLog()
{
    if (!latestInstallLine.isEmpty() && !closeRequested && engine->busy())
        setStatus(tr("Installing %1").arg(latestInstallLine.mid(InstallLogPrefix.size())));
    latestInstallLine.clear();
    if (pendingLog.isEmpty())
        return;
    writeTerminalLog();
    // A long run of one line (a mirror failing over and over) shows as the
    // line and one counter below it.
    QStringList blocks;
    bool counterInView = false;
    for (const QString& line : std::as_const(pendingLog)) {
        if (line != lastLogLine) {
            lastLogLine = line;
            lastLogRepeats = 0;
            blocks.append(line);
            continue;
        }
        const QString counter = tr("... repeated %1 times").arg(++lastLogRepeats);
        if (lastLogRepeats == 1)
            blocks.append(counter);
        else if (!blocks.isEmpty())
            blocks.last() = counter;
        else
            counterInView = true;
    }
    pendingLog.clear();
    const QString counter = tr("... repeated %1 times").arg(lastLogRepeats);
    // A hidden view takes its lines when it is shown, unless the counter
    // to update is in it already.
    if (ui->outputTextEdit->isHidden() && (!counterInView || !unshownLog.isEmpty())) {
        if (counterInView)
            unshownLog.last() = counter;
        unshownLog.append(blocks);
        if (unshownLog.size() > MaxLogLines)
            unshownLog.remove(0, unshownLog.size() - MaxLogLines);
        return;
    }
    QScrollBar* bar = ui->outputTextEdit->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    if (counterInView) {
        QTextCursor cursor(ui->outputTextEdit->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(counter);
    }
    appendLogBlocks(blocks);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void MainWindow::onDetailsToggled(bool shown)
{
    // The waiting lines enter while the view is hidden: it lays them out
    // once when shown, not line by line.
    if (shown)
        appendLogBlocks(std::exchange(unshownLog, {}));
    ui->outputTextEdit->setVisible(shown);
}

void MainWindow::appendLogBlocks(const QStringList& blocks)
{
    if (blocks.isEmpty())
        return;
    // A log line is plain text: a file name or server text with "<" in it
    // must appear as written, not be taken for markup.
    QTextCursor cursor(ui->outputTextEdit->document());
    cursor.movePosition(QTextCursor::End);
    if (!ui->outputTextEdit->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(OutsideText::escaped(blocks.join(QLatin1Char('\n'))));
}

void MainWindow::onProgressUpdate(qreal doneFrac)
{
    pendingProgress = int(doneFrac * 1000);
    // The bar repaints at once whenever it moves, which thousands of files
    // would make a cost of their own: the ends show at once, steps between
    // them at most every ProgressRepaintMs.
    if (pendingProgress == 0 || pendingProgress == 1000 || !progressShown.isValid()
        || progressShown.elapsed() >= ProgressRepaintMs) {
        showProgress();
    } else if (!progressTimer->isActive()) {
        progressTimer->start();
    }
}

void MainWindow::showProgress()
{
    progressShown.start();
    // While files download the bar tells what the byte counter beside it tells.
    if (!downloadPhase)
        ui->totalProgressBar->setValue(pendingProgress);
}

void MainWindow::setDownloadPhase(bool downloads)
{
    if (downloads == downloadPhase)
        return;
    downloadPhase = downloads;
    ui->totalProgressBar->setFormat(downloads ? tr("Downloads %p%") : QStringLiteral("%p%"));
    if (!downloads)
        ui->totalProgressBar->setValue(pendingProgress);
}

void MainWindow::onDownloadProgress(
    quint64 downloadDone, quint64 downloadTotal, quint64 speed, bool downloading)
{
    // Held downloads keep the counter of what arrived; nothing moves.
    const bool held = engine->busy() && engine->isPaused();
    setDownloadPhase(downloading || held);
    ui->downloadSizeLabel->setVisible(downloading || held);
    ui->downloadSpeedLabel->setVisible(downloading);
    // Offered while files download, and while they are held.
    ui->pauseButton->setVisible(engine->busy() && (downloading || engine->isPaused()));
    ui->pauseButton->setText(engine->isPaused() ? tr("Resume") : tr("Pause"));
    if (!downloading) {
        ui->timeLeftLabel->setVisible(false);
        remaining.clear();
        return;
    }
    if (downloadTotal > 0)
        ui->totalProgressBar->setValue(int(qMin<quint64>(1000, downloadDone * 1000 / downloadTotal)));
    const ByteUnit sizeUnit = unitFor(downloadTotal);
    const QString done = figure(downloadDone, sizeUnit);
    const QString total = figure(downloadTotal, sizeUnit);
    QString size;
    switch (sizeUnit) {
    case ByteUnit::KB: size = tr("%1 KB / %2 KB").arg(done, total); break;
    case ByteUnit::MB: size = tr("%1 MB / %2 MB").arg(done, total); break;
    case ByteUnit::GB: size = tr("%1 GB / %2 GB").arg(done, total); break;
    }
    QString perSecond = rateText(speed);
    // Slower than the line allows, by the user's own choice: say so.
    if (engine->maxDownloadRate() > 0)
        perSecond = tr("%1 (limited to %2)").arg(perSecond, rateText(quint64(engine->maxDownloadRate())));
    ui->downloadSizeLabel->setText(smallPrint(size));
    ui->downloadSpeedLabel->setText(smallPrint(perSecond));
    remaining.addSample(downloadDone);
    const qint64 seconds = remaining.secondsUntil(downloadTotal);
    ui->timeLeftLabel->setVisible(seconds >= 0);
    if (seconds >= 0)
        ui->timeLeftLabel->setText(smallPrint(durationText(seconds)));
}

void MainWindow::on_pauseButton_clicked()
{
    engine->setPaused(!engine->isPaused());
    const bool paused = engine->isPaused();
    ui->pauseButton->setText(paused ? tr("Resume") : tr("Pause"));
    setStatus(paused ? tr("Downloads paused") : tr("Downloading files..."));
    ui->downloadSpeedLabel->setVisible(false);
    ui->timeLeftLabel->setVisible(false);
    remaining.clear();
}

void MainWindow::onUpdateFinished()
{
    // A close confirmed during the final deletions: the update completed.
    if (closeRequested) {
        QCoreApplication::quit();
        return;
    }
    launchMode = true;
    // Up to date only as far as current, signed information says so.
    setHeading(
        (config->freshnessNote.isEmpty() ? tr("%1 is up to date") : tr("%1 is installed")).arg(offerName()));
    const RunSummary& summary = engine->summary();
    if (config->fullCheck)
        onAppendText(QStringLiteral("%1 files checked, %2 repaired")
                         .arg(summary.filesChecked)
                         .arg(summary.filesChanged));
    // Up to date only as far as current, signed information says so.
    if (config->fullCheck)
        setStatus(tr("%1 files checked, %2 repaired").arg(summary.filesChecked).arg(summary.filesChanged));
    else if (config->freshnessNote.isEmpty() && !config->offer.isHeldBack())
        setStatus(tr("Voxmeadow 3 is up to date: version %1").arg(config->updateTypeDesc.version));
    else
        setStatus(tr("Voxmeadow 3 version %1 is installed. %2")
                      .arg(config->updateTypeDesc.version)
                      .arg(QStringList({ config->offer.heldBackNote(), config->freshnessNote })
                               .join(QLatin1Char(' '))
                               .trimmed()));
    // Whoever reads the changelog decides when the client starts.
    if (config->noUserMode == 1 && !ChangeLogViewer::instance()) {
        QTimer::singleShot(LaunchDelayMs, this, &MainWindow::on_startButton_clicked);
        return;
    }
    ui->startButton->setText(tr("Start Voxmeadow"));
    ui->startButton->setFocus();
    ui->startButton->setEnabled(true);
}

void MainWindow::onUpdateCanceled()
{
    if (closeRequested) {
        QCoreApplication::exit(signalled ? ExitCode::Canceled : ExitCode::Done);
        return;
    }
    launchMode = false;
    engine->reset();
    ui->startButton->setText(tr("Restart"));
    ui->startButton->setEnabled(true);
    onAppendText(tr("Update cancelled"));
    onProgressUpdate(0.0);
    const QString reason = failure.sentence();
    setStatus(reason);
    if (unattended) {
        onFlushLog();
        qWarning().noquote() << "Error:" << reason;
        QCoreApplication::exit(2);
        return;
    }
    ask(this, QMessageBox::Critical, tr("Update"),
        reason + QLatin1Char(' ') + tr("Update cancelled. Push \"Details\" to check reasons."),
        QMessageBox::Ok);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!engine->busy()) {
        event->accept();
        return;
    }
    event->ignore();
    if (closeRequested)
        return;
    if (ask(this, QMessageBox::Question, tr("Question"),
            tr("<p>Update in progress.</p><p>Are you sure you want to abort?</p>"),
            QMessageBox::Yes | QMessageBox::No, Qt::RichText)
        != QMessageBox::Yes)
        return;
    // The run may have ended while the question was open: nothing left to cancel.
    if (!engine->busy()) {
        event->accept();
        return;
    }
    closeRequested = true;
    ui->startButton->setEnabled(false);
    setStatus(tr("Cancelling the update..."));
    engine->cancelUpdate();
}

void MainWindow::cancelForSignal()
{
    signalled = true;
    if (!engine->busy()) {
        QCoreApplication::exit(ExitCode::Canceled);
        return;
    }
    if (closeRequested)
        return;
    closeRequested = true;
    ui->startButton->setEnabled(false);
    setStatus(tr("Cancelling the update..."));
    engine->cancelUpdate();
}

void MainWindow::onOtherInstanceActivate(QString message)
{
    if (message != QLatin1String("#"))
        return;
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::onBannerFound(QByteArray bannerImage, QString clickUrl)
{
    QPixmap image;
    if (!image.loadFromData(bannerImage))
        return;
    ui->banner->setPixmap(image);
    // The address comes unauthenticated over UDP: only a web address makes
    // the banner clickable.
    const QUrl url(clickUrl);
    if (!WebLinkOpener::isWebAddress(url)) {
        qWarning().noquote() << "Banner click address ignored:" << clickUrl;
        ui->banner->setToolTip(QString());
        ui->banner->setUrl(QString());
        ui->banner->unsetCursor();
        return;
    }
    ui->banner->setToolTip(tr("Click to open \"%1://%2\"").arg(url.scheme(), url.host()));
    ui->banner->setUrl(clickUrl);
    ui->banner->setCursor(Qt::PointingHandCursor);
}

void MainWindow::onDetailsPressed()
{
    if (ui->outputTextEdit->isVisible()) {
        QScrollBar* bar = ui->outputTextEdit->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

void MainWindow::on_changelogButton_clicked()
{
    ChangeLogViewer::showRemoteChangeLogDialog(this, QString::number(config->updateTypeDesc.version),
        config->layout().root(), engine->transfers, config->updateTypeDesc.updateType);
}
