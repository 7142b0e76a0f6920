#ifndef ROLLBACKDATA_H
#define ROLLBACKDATA_H

#include <QString>

class QObject;

// One undoable change to the file system, recorded after it succeeded.
class RollbackData
{
public:
    enum Operation : qint32 {
        Rename = 0,
        CreateFile = 1,
        CreateDir = 2
    };

    // A rename: the old path comes first.
    RollbackData(Operation operation, const QString& previousPath, const QString& path);
    // A creation of `path`.
    RollbackData(Operation operation, const QString& path);

    // Undoes the change; failures are reported to `receiver` as warnings.
    bool rollback(QObject* receiver) const;
    static void message(QObject* receiver, const QString& text);

    QString path;
    QString previousPath;
    Operation operation;
};

#endif
