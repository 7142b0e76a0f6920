#ifndef UNTRUSTEDTEXTDOCUMENT_H
#define UNTRUSTEDTEXTDOCUMENT_H

#include <QTextDocument>

// A rich-text document for text from outside: the update server's news
// (unauthenticated UDP) and a mirror's changelog. Its markup may name any
// file, device or address, and a plain QTextDocument reads whatever local
// file an image, background or style sheet names ("/dev/zero" until memory
// runs out), and Qt's image handler loads an image's name as a file by
// itself. This one shows only what the updater put into it itself with
// addResource() and loads nothing: no file, no qrc: or data: URL, nothing
// from the network.
class UntrustedTextDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit UntrustedTextDocument(QObject* parent = nullptr);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

#endif
