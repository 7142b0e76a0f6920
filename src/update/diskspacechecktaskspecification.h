#ifndef DISKSPACECHECKTASKSPECIFICATION_H
#define DISKSPACECHECKTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/taskspecification.h"

// Refuses an update whose listed sizes cannot fit before anything is
// downloaded: the downloads must fit into the temporary directory's file
// system and the installed files into the installation's, both into one when
// they share it. The previous versions stay while the new ones are written,
// so nothing already installed counts as free.
class DiskSpaceCheckTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    DiskSpaceCheckTaskSpecification(const FileSpecifications& specifications,
        const InstallationLayout& layout, QObject* parent, double parentProgressRange);

    qint64 downloadBytes() const;
    qint64 installBytes() const;

public Q_SLOTS:
    void execute() override;

private:
    bool fits(const QString& what, const QString& path, qint64 needed);

    const FileSpecifications& specifications;
    InstallationLayout layout;
};

#endif
