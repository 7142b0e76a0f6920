#include "ui/urlclicklabel.h"

#include "ui/weblinkopener.h"

#include <QMouseEvent>

UrlClickLabel::UrlClickLabel(QWidget* parent)
    : QLabel(parent)
{ }

void UrlClickLabel::setUrl(const QString& url)
{
    this->url = url;
}

void UrlClickLabel::mousePressEvent(QMouseEvent* event)
{
    WebLinkOpener::open(QUrl(url));
    event->accept();
}
