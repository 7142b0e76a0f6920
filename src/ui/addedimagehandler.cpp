#include "ui/addedimagehandler.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <QTextFormat>

namespace {

QImage addedImage(QTextDocument* document, const QTextFormat& format)
{
    const QVariant data
        = document->resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()));
    if (data.userType() == QMetaType::QByteArray)
        return QImage::fromData(data.toByteArray());
    return data.value<QImage>();
}

} // namespace

AddedImageHandler::AddedImageHandler(QObject* parent)
    : QObject(parent)
{ }

QSizeF AddedImageHandler::intrinsicSize(QTextDocument* document, int, const QTextFormat& format)
{
    const QImage image = addedImage(document, format);
    if (image.isNull())
        return QSizeF();
    // The markup's width and height, either alone keeping the image's proportions.
    const QTextImageFormat imageFormat = format.toImageFormat();
    const bool hasWidth = imageFormat.hasProperty(QTextFormat::ImageWidth);
    const bool hasHeight = imageFormat.hasProperty(QTextFormat::ImageHeight);
    const qreal aspect = qreal(image.width()) / qreal(qMax(1, image.height()));
    if (hasWidth && hasHeight)
        return QSizeF(imageFormat.width(), imageFormat.height());
    if (hasWidth)
        return QSizeF(imageFormat.width(), imageFormat.width() / aspect);
    if (hasHeight)
        return QSizeF(imageFormat.height() * aspect, imageFormat.height());
    return image.size();
}

void AddedImageHandler::drawObject(
    QPainter* painter, const QRectF& rect, QTextDocument* document, int, const QTextFormat& format)
{
    const QImage image = addedImage(document, format);
    if (!image.isNull())
        painter->drawImage(rect, image);
}
