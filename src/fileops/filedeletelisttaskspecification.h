#ifndef FILEDELETELISTTASKSPECIFICATION_H
#define FILEDELETELISTTASKSPECIFICATION_H

#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"

#include <QList>
#include <QString>

// Removes the files an update no longer ships and the old copies left by
// its replacements. Entries that are missing or cannot be removed are skipped.
class FileDeleteListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileDeleteListTaskSpecification(QList<QString>* deleteList, const InstallationLayout& layout,
                                    QObject* parent, double parentProgressRange);

    void makeSubtasksAndStart();

    // Paths relative to the application directory. Not owned.
    QList<QString>* deleteList;
    InstallationLayout layout;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;
};

#endif
