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
// Entries that are missing or cannot be removed are skipped.
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
};

#endif
