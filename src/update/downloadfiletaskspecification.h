#ifndef DOWNLOADFILETASKSPECIFICATION_H
#define DOWNLOADFILETASKSPECIFICATION_H

#include "manifest/filedownloadspecification.h"
#include "transfer/downloadcontext.h"
#include "update/verifieddownloadtaskspecification.h"

#include <QSet>

class DownloadTaskSpecification;

// Downloads one listed file into the temporary directory and checks its MD5
// sum. A file that fails the check is blamed on the mirror that delivered
// it: that mirror is struck off and the file is fetched again elsewhere;
// unless the file was completed from a kept part, which is dropped first.
//
// A file with a patch is first fetched as that patch from a mirror that has
// it, checked, and applied to the installed file; the result waits where the
// installation takes it from. Whatever goes wrong with the patch, the file
// is then fetched whole, with one log line that says why: a patch never
// fails the run, and costs no mirror its place.
class DownloadFileTaskSpecification : public VerifiedDownloadTaskSpecification
{
    Q_OBJECT

public:
    DownloadFileTaskSpecification(const FileDownloadSpecification& listedFile, const DownloadContext& context,
        QObject* parent, double parentProgressRange);

    // Mirrors found without a patch, shared by the files of one list; not owned.
    void shareMirrorsWithoutPatches(QSet<QString>* mirrors) { mirrorsWithoutPatches = mirrors; }

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    void subtasksDone() override;

Q_SIGNALS:
    // The bytes this file will take on the wire changed by `delta`: its
    // patch was given up for the whole file.
    void downloadSizeChanged(qint64 delta);
    // The file is in place: fetched whole (`asPatch` false, also after its
    // patch was given up) or as a patch of `bytes`.
    void fetched(qint64 bytes, bool asPatch, bool patchGivenUp);

protected:
    void addRound() override;
    TaskState roundFailed() override;

private:
    bool usingPatch() const { return listedFile.patch && !patchAbandoned; }
    void addPatchRound();
    QString patchResultPath() const;
    QString patchPartPath() const;
    void abandonPatch(const QString& reason);

    FileDownloadSpecification listedFile;
    DownloadContext context;
    DownloadTaskSpecification* downloadTask = nullptr;
    // Another file ended the list while this one ran: a failed check must
    // end this task rather than fetch the file again.
    bool listEnded = false;
    bool refetchedWhole = false;
    bool patchAbandoned = false;
    QSet<QString>* mirrorsWithoutPatches = nullptr;
    // Why applying the patch failed, as its task said.
    QString applyFailure;
};

#endif
