#ifndef FILEDELETELISTTASKSPECIFICATION_H
#define FILEDELETELISTTASKSPECIFICATION_H

#include "tasks/composedtaskspecification.h"

#include <QList>
#include <QString>

// Removes the files an update no longer ships and the old copies left by
// its replacements. Entries that are missing or cannot be removed are skipped.
class FileDeleteListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    // Entries are resolved against the program directory.
    FileDeleteListTaskSpecification(QList<QString>* deleteList, QObject* parent,
                                    double parentProgressRange);
    // Entries are resolved against `appRootPath`.
    FileDeleteListTaskSpecification(QList<QString>* deleteList, const QString& appRootPath,
                                    QObject* parent, double parentProgressRange);

    void makeSubtasksAndStart();

    QList<QString>* deleteList;
    QString appRootPath;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;
};

#endif
