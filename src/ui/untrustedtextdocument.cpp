#include "ui/untrustedtextdocument.h"

#include "ui/addedimagehandler.h"

#include <QAbstractTextDocumentLayout>
#include <QVariant>

UntrustedTextDocument::UntrustedTextDocument(QObject* parent)
    : QTextDocument(parent)
{
    // In place of Qt's image handler, which the layout registers when it is made.
    QAbstractTextDocumentLayout* layout = documentLayout();
    layout->registerHandler(QTextFormat::ImageObject, new AddedImageHandler(layout));
}

QVariant UntrustedTextDocument::loadResource(int, const QUrl&)
{
    // Resources added with addResource() are found before this is asked.
    return QVariant();
}
