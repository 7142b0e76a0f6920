#ifndef MAINTASKSPECIFICATION_H
#define MAINTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "transfer/downloadcontext.h"
#include "tasks/composedtaskspecification.h"
#include "update/runsummary.h"
#include "verify/releasetrust.h"

// The root of one update: product ini, list compilation, downloads,
// installation and deletion, strictly one after the other. It owns the file
// lists through which the steps hand work to each other.
class MainTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    // The context's layout is also where the installation steps work.
    MainTaskSpecification(const DownloadContext& context, const QString& updateType, int version,
        int downloadConcurrency, QObject* parent, double parentProgressRange);

    const FileSpecifications& specifications() const { return fileSpecifications; }
    // The keys that vouch for the release; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }
    // When the release's verified manifest says it was published; -1 when
    // no manifest verified (yet).
    qint64 releasePublished() const { return published; }
    // See MakeDownloadReplaceListFunc::setFullCheck.
    void setFullCheck(bool full) { fullCheck = full; }
    // What the lists held once compiled, and what the downloads fetched; no time.
    const RunSummary& summary() const { return counts; }

public Q_SLOTS:
    void execute() override;
    void reset() override;
    // Once files download, the figures are the download list's alone.
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading) override;
    // Ignored once the installation has succeeded: what remains only
    // deletes files, and the installed version is complete.
    void userCanceled() override;

Q_SIGNALS:
    // The downloads are over, done or not; `bytes` is what the files in
    // place took on the wire.
    void downloadsEnded(quint64 bytes);

private Q_SLOTS:
    void returnFreedMemory();
    // Drops the download list, which nothing reads once the files are
    // fetched: the replace records carry what the digest cache needs of it.
    void downloadsDone();

private:
    void makeSubtasksAndStart();
    void countLists();
    void countFetch(qint64 bytes, bool asPatch, bool patchGivenUp);

    DownloadContext context;
    QString updateType;
    int version;
    int downloadConcurrency;
    FileSpecifications fileSpecifications;
    TaskSpecification* installation = nullptr;
    TaskSpecification* downloadList = nullptr;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    qint64 published = -1;
    bool fullCheck = false;
    RunSummary counts;
};

#endif
