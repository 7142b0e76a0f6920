#include "ui/newsbanner.h"

#include "ui/markupbudget.h"
#include "ui/untrustedtextdocument.h"
#include "ui/weblinkopener.h"

#include <QAbstractTextDocumentLayout>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTimerEvent>

namespace {

const int FixedHeightWithoutNews = 16;
// The text starts this far left of the right edge and pauses once its end is
// this far beyond the left edge.
const int EdgeMargin = 10;
const float StepPixels = 0.5f;

} // namespace

NewsBanner::NewsBanner(QWidget* parent)
    : QWidget(parent)
    , document(new UntrustedTextDocument(this))
    , scrollX(0)
    , textWidth(0)
    , textHeight(0)
    , paused(false)
{
    setObjectName(QStringLiteral("NewsBanner"));
    setMinimumHeight(FixedHeightWithoutNews);
    setMaximumHeight(FixedHeightWithoutNews);
}

NewsBanner::~NewsBanner()
{
    timer.stop();
}

void NewsBanner::setNews(const QString& html)
{
    const QString news = html.left(MaxNewsLength);
    clickUrl.clear();
    // Greedy and across lines: from the first "<!--" to the last "-->".
    static const QRegularExpression comment(
        QStringLiteral("<!--(.+)-->"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = comment.match(news);
    if (match.hasMatch()) {
        const QString content = match.captured(1);
        const int equals = content.indexOf(QLatin1Char('='));
        if (equals >= 0 && content.left(equals) == QLatin1String("URL"))
            clickUrl = content.mid(equals + 1);
    }
    if (MarkupBudget::affords(news))
        document->setHtml(news);
    else
        document->setPlainText(news);
    document->setDocumentMargin(0);
    paused = false;
    scrollX = float(width() - EdgeMargin);
    const QSizeF size = document->size();
    textWidth = int(size.width());
    textHeight = qMin(int(size.height()), MaxHeight);
    setMinimumHeight(textHeight);
    setMaximumHeight(textHeight);
    timer.start(ScrollIntervalMs, this);
}

QString NewsBanner::anchorAt(const QPoint& pos) const
{
    const QPointF documentPos(int(float(pos.x()) - scrollX), pos.y());
    return document->documentLayout()->anchorAt(documentPos);
}

void NewsBanner::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (paused) {
        paused = false;
        timer.start(ScrollIntervalMs, this);
    }
    scrollX -= StepPixels;
    update();
}

void NewsBanner::paintEvent(QPaintEvent*)
{
    if (paused)
        return;
    const int w = width();
    if (int(scrollX) > w)
        scrollX = float(w - EdgeMargin);
    {
        QPainter painter(this);
        painter.translate(double(scrollX), (height() - textHeight) * 0.5);
        // Only what is in view: a long news would otherwise be drawn whole at every step.
        document->drawContents(&painter, QRectF(-double(scrollX), 0, w, textHeight));
    }
    if (int(scrollX) + textWidth < -EdgeMargin) {
        paused = true;
        scrollX = float(w - EdgeMargin);
        timer.start(PauseMs, this);
    }
    setCursor(anchorAt(mapFromGlobal(QCursor::pos())).isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void NewsBanner::mousePressEvent(QMouseEvent* event)
{
    const QString anchor = anchorAt(event->position().toPoint());
    if (!anchor.isEmpty())
        WebLinkOpener::open(QUrl(anchor));
    else if (!clickUrl.isEmpty())
        WebLinkOpener::open(QUrl(clickUrl));
    event->accept();
}
