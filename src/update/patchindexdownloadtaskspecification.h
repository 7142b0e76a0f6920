#ifndef PATCHINDEXDOWNLOADTASKSPECIFICATION_H
#define PATCHINDEXDOWNLOADTASKSPECIFICATION_H

#include "transfer/downloadcontext.h"
#include "tasks/composedtaskspecification.h"

#include <functional>

// Brings the release's patch index and its signature into the temporary
// directory from a mirror that has them; the list compiler verifies them.
// Patches are an option: when no mirror has the index, or it cannot be
// fetched, one log line says so and the run goes on with whole files. Only
// the user's cancel ends this task otherwise than finished.
class PatchIndexDownloadTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    // Far above the 128 bytes of a signature of the built-in key.
    static constexpr qint64 MAX_SIGNATURE_SIZE = 4 * 1024;

    PatchIndexDownloadTaskSpecification(const DownloadContext& context, const QString& updateType,
        QObject* parent, double parentProgressRange);

    // Where the index lands.
    QString localIndexPath() const;
    // Asked when the task starts: without a need for the index, it finishes
    // at once and asks no mirror.
    void askOnlyWhen(std::function<bool()> needed) { wanted = std::move(needed); }

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;

private:
    void removeLocalCopies();

    DownloadContext context;
    QString updateType;
    std::function<bool()> wanted;
};

#endif
