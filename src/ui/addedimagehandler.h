#ifndef ADDEDIMAGEHANDLER_H
#define ADDEDIMAGEHANDLER_H

#include <QObject>
#include <QTextObjectInterface>

// Lays out and draws a text document's images from what was added to the
// document with addResource() alone. Qt's own handler, when the document
// gives it no image, loads the name as a file itself (a FIFO would block,
// a device be read); an image without an added resource takes no room here.
class AddedImageHandler : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit AddedImageHandler(QObject* parent = nullptr);

    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
        const QTextFormat& format) override;
};

#endif
