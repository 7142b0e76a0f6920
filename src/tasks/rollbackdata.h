#ifndef ROLLBACKDATA_H
#define ROLLBACKDATA_H

#include <QByteArray>
#include <QString>

class QObject;

// One undoable change to the file system, recorded after it succeeded.
class RollbackData
{
public:
    enum Operation : qint32 {
        Rename = 0,
        CreateFile = 1,
        CreateDir = 2,
        // `path` got new content while its previous content was kept as
        // `previousPath`; the undo moves that back over `path` in one step.
        Replace = 3
    };

    // A rename or a replacement: the old (kept) path comes first.
    RollbackData(Operation operation, const QString& previousPath, const QString& path);
    // A creation of `path`.
    RollbackData(Operation operation, const QString& path);
    // From paths in the file system's encoding.
    static RollbackData fromEncoded(
        Operation operation, const QByteArray& encodedPreviousPath, const QByteArray& encodedPath);

    // Undoes the change; failures are reported to `receiver` as warnings.
    bool rollback(QObject* receiver) const;
    static void message(QObject* receiver, const QString& text);

    QString path() const;
    // Empty for a creation.
    QString previousPath() const;
    const QByteArray& encoded() const { return encodedPath; }
    const QByteArray& encodedPrevious() const { return encodedPreviousPath; }

    Operation operation;

private:
    // In the file system's encoding, which takes half the room of text: the
    // journal holds an absolute path for every file an update installs.
    QByteArray encodedPath;
    QByteArray encodedPreviousPath;
};

#endif
