#ifndef DOWNLOADFILETASKSPECIFICATION_H
#define DOWNLOADFILETASKSPECIFICATION_H

#include "manifest/filedownloadspecification.h"
#include "transfer/downloadcontext.h"
#include "update/verifieddownloadtaskspecification.h"

class DownloadTaskSpecification;

// Downloads one listed file into the temporary directory and checks its MD5
// sum. A file that fails the check is blamed on the mirror that delivered
// it: that mirror is struck off and the file is fetched again elsewhere;
// unless the file was completed from a kept part, which is dropped first.
class DownloadFileTaskSpecification : public VerifiedDownloadTaskSpecification
{
    Q_OBJECT

public:
    DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec, const DownloadContext& context,
        QObject* parent, double parentProgressRange);

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;

protected:
    void addRound() override;
    TaskState roundFailed() override;

private:
    FileDownloadSpecification fileSpec;
    DownloadContext context;
    DownloadTaskSpecification* downloadTask = nullptr;
    // Another file ended the list while this one ran: a failed check must
    // end this task rather than fetch the file again.
    bool listEnded = false;
    bool refetchedWhole = false;
};

#endif
