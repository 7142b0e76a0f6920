#ifndef URLCLICKLABEL_H
#define URLCLICKLABEL_H

#include <QLabel>
#include <QString>

class QMouseEvent;

// A label that opens a fixed web address when clicked with any button.
class UrlClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit UrlClickLabel(QWidget* parent = nullptr);

    void setUrl(const QString& url);
    QString getUrl() const { return url; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString url;
};

#endif
