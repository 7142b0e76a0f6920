#ifndef FILEDELETETASKSPECIFICATION_H
#define FILEDELETETASKSPECIFICATION_H

#include "fileops/fastfileoptaskspecification.h"

// Deletes one file. Deletions cannot be undone, so nothing is journalled.
class FileDeleteTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    FileDeleteTaskSpecification(
        bool reportFailure, const QString& path, QObject* parent, double parentProgressRange);

    // When false, a missing or undeletable file still counts as success;
    // an undeletable one is logged as a warning and reported by notDeleted.
    bool reportFailure;

Q_SIGNALS:
    void notDeleted(QString path);

public Q_SLOTS:
    bool doOp() override;
};

#endif
