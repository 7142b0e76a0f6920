#ifndef FILEDELETELISTTASKSPECIFICATION_H
#define FILEDELETELISTTASKSPECIFICATION_H

#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"

#include <QList>
#include <QString>
#include <QStringList>

// Removes the files an update no longer ships and the old copies left by
// its replacements, and what interrupted earlier runs left: new files that
// were never renamed into place and old copies in "old". It runs only after
// a complete installation, so it is not cancelled: it only removes files.
// Missing entries are skipped; one that cannot be removed is logged as a
// warning and the others are still removed. The run fails when a file that
// the release no longer ships is left, so that it is not taken for a
// complete update: the session stays, and the next run deletes it.
class FileDeleteListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileDeleteListTaskSpecification(QList<QString>* deleteList, const InstallationLayout& layout,
        QObject* parent, double parentProgressRange);

    void makeSubtasksAndStart();
    // Leftovers of interrupted runs below `root`, relative to it.
    static QStringList leftovers(const QString& root);

    // Paths relative to the application directory. Not owned.
    QList<QString>* deleteList;
    InstallationLayout layout;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;
    void userCanceled() override;

private:
    void startDeleting(const QStringList& found);

    // Identifies the current run's scan of the installation.
    quint64 scanRun = 0;
    // Files of the delete list, not old copies, that could not be deleted.
    int shippedFilesLeft = 0;
};

#endif
