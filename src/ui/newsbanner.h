#ifndef NEWSBANNER_H
#define NEWSBANNER_H

#include <QBasicTimer>
#include <QString>
#include <QWidget>

class QMouseEvent;
class QPaintEvent;
class QTextDocument;
class QTimerEvent;

// A one-line news ticker: renders a short piece of HTML and scrolls it from
// right to left at 50 pixels per second, blank for 3 seconds between passes.
// A click on a link opens it; a click elsewhere opens the address of a
// leading "<!--URL=...-->" comment, if the news carries one. The news comes
// unauthenticated from the update server: it loads no resource, markup
// beyond MarkupBudget shows as plain text, and its size is bounded.
class NewsBanner : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ScrollIntervalMs = 10;
    static constexpr int PauseMs = 3000;
    // The update server's answer holds at most 4095 bytes; a longer news can
    // only come from the command line and is cut here, before it is parsed.
    static constexpr qsizetype MaxNewsLength = 4096;
    // The height follows the news up to this; taller news is cut off below,
    // so that no markup (a huge margin or line height) can grow the window.
    static constexpr int MaxHeight = 64;

    explicit NewsBanner(QWidget* parent = nullptr);
    ~NewsBanner() override;

    void setNews(const QString& html);
    QString anchorAt(const QPoint& pos) const;

    QString getClickUrl() const { return clickUrl; }
    float getScrollX() const { return scrollX; }
    bool isPaused() const { return paused; }
    // The timer that drives scrolling and the pause, for driving it directly.
    int timerId() const { return timer.timerId(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QBasicTimer timer;
    QTextDocument* document;
    float scrollX;
    int textWidth;
    int textHeight;
    bool paused;
    QString clickUrl;
};

#endif
