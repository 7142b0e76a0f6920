#ifndef DOWNLOADTASKSPECIFICATION_H
#define DOWNLOADTASKSPECIFICATION_H

#include "manifest/contenthasher.h"
#include "transfer/ftpsiteaccessdata.h"
#include "tasks/taskspecification.h"

#include <QFile>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

class Mirrors;
class Transfer;
class TransferEngine;

// Fetches one file over HTTP(S) from a random mirror into a local file. Every
// failed attempt (network error, status other than 200, write error, too many
// ticks without data, too few bytes over a window of ticks, a deadline
// passed) is charged to its mirror and the download starts over on a freshly
// chosen one; the task gives up only when no mirror is left or the local file
// cannot be created. With a part file, what arrived is kept across attempts,
// pauses and runs, and later attempts ask only for the rest. The update
// engine ticks once a second; a tick that the bandwidth cap held an attempt
// back for most of starts its windows again.
class DownloadTaskSpecification : public TaskSpecification
{
    Q_OBJECT

public:
    DownloadTaskSpecification(TransferEngine* transfers, Mirrors* mirrors, const QString& remotePath,
        const QString& localPath, qint64 expectedSize, QObject* parent, double parentProgressRange);
    ~DownloadTaskSpecification() override;

    // The mirror of the current or last attempt; after a successful download
    // it still names the mirror that delivered the file.
    const FTPSiteAccessData& getCurrentMirror() const { return currentMirror; }

    // Least an attempt must receive over the mirror's time-out window of
    // ticks; less is a trickle that would keep an unattended run alive.
    static constexpr qint64 MIN_WINDOW_BYTES = 1024;
    // Least an attempt must receive over SLOW_WINDOW_TICKS ticks once it has
    // run that long: a slower mirror could hold a run for days, and is left
    // for another, charged like a stall. A file that arrives within the
    // window is never judged by it.
    static constexpr int SLOW_WINDOW_TICKS = 30;
    static constexpr qint64 MIN_SLOW_WINDOW_BYTES = 32 * 1024;
    // What a deadline allows beyond the time its bound takes at that least
    // rate: connecting, and a pause in a healthy line.
    static constexpr qint64 DEADLINE_FLOOR_MS = 60 * 1000;
    // The longest any deadline runs, however large the bound: at the least
    // rate a mirror could otherwise hold a 64 MiB bound for 17 hours.
    static constexpr qint64 DEADLINE_CEILING_MS = 10 * 60 * 1000;
    // The deadline of an attempt bounded by `byteLimit` under the
    // bandwidth cap `cap` (bytes a second, 0: none), in milliseconds.
    static qint64 deadlineForLimit(qint64 byteLimit, qint64 cap);

    // Most bytes the file may receive; a body that is announced or turns out
    // longer strikes the mirror off and nothing beyond the limit is written.
    // Defaults to the expected size; -1: no limit.
    void setByteLimit(qint64 limit) { byteLimit = limit; }
    // Gives every attempt a deadline on the engine's clock, taken from the
    // byte limit it starts with: DEADLINE_FLOOR_MS plus the time the limit
    // takes at the least rate (MIN_SLOW_WINDOW_BYTES per SLOW_WINDOW_TICKS
    // seconds), or at the bandwidth cap when that is lower, and never more
    // than DEADLINE_CEILING_MS. An attempt past
    // it fails against its mirror and the next mirror is asked. Meant for
    // the small files that only a bound limits (product ini, signatures,
    // manifests, indexes, records): call it beside setByteLimit(), e.g.
    //   download->setByteLimit(64 * 1024);
    //   download->setDeadlineFromByteLimit();
    // gives each attempt 120 s.
    void setDeadlineFromByteLimit() { deadlineFromLimit = true; }

    // Takes the digest of the body as it is written, so that a check of the
    // file need not read it again.
    void digestWhileReceiving(ContentSum::Algorithm algorithm)
    {
        digesting = true;
        digestAlgorithm = algorithm;
    }
    // The digest of the file the last attempt completed; empty when none
    // did or the digest was not asked for.
    QByteArray receivedDigest() const { return completedDigest; }

    // Receives into `path` and keeps what arrived there when an attempt
    // ends early; the complete file is then renamed to the local path,
    // unless `path` is that path. Needs the expected size.
    void keepPartAt(const QString& path) { partPath = path; }
    // Asks the mirror that delivered `leader`'s file first, while the
    // registry still lists it, so that a failed check of the pair blames
    // one mirror.
    void followMirrorOf(const DownloadTaskSpecification* leader) { mirrorLeader = leader; }
    // Whether the file delivered last was completed from a part kept from
    // an earlier attempt.
    bool completedFromPart() const { return resumedDelivery; }

    // For a file that some mirrors may lack (a patch): a mirror that answers
    // with anything but the file, or with more than its size, is not blamed,
    // only not asked for it again, and logged once, when it joins the set of
    // mirrors that lack such files. The task
    // fails quietly once no mirror is left to ask; failureReason() says why.
    // With `lacking`, the mirrors that lack the file are noted there and not
    // asked at all, so that files published together are not asked for in
    // vain of a mirror that has none of them.
    void setOptional(QSet<QString>* lacking = nullptr)
    {
        optional = true;
        lackingMirrors = lacking ? lacking : &ownLackingMirrors;
    }
    QString failureReason() const { return lastFailure; }
    // For an optional file whose absence its caller judges: once every
    // mirror left has said it lacks the file, the task finishes without it
    // instead of failing, so that the tasks after it still run.
    void finishWhenAbsent() { absenceFinishes = true; }

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    virtual void downloadFinished();

private Q_SLOTS:
    void onTransferFinished();
    void onMirrorFreed();
    void onPausedChanged(bool paused);

private:
    // What a handler found wrong while libcurl was calling it; dealt with
    // once the transfer has ended.
    enum class Failure { None, StrikeMirror, CountError, DiscardPart, NotOnMirror };

    void startDownload();
    bool openTarget();
    // The size of a usable part at partPath, after removing whatever else
    // is there; 0 when there is none.
    qint64 keptPartSize();
    bool onHead();
    bool onBody(const char* data, qint64 size);
    bool fail(Failure kind, const QString& text);
    // A mirror's wrong answer: struck off, or for an optional file skipped.
    bool refuseAnswer(const QString& text);
    void restartFromZero();
    void resetDownload();
    bool errorRetry(const QString& text);
    void releaseCurrentMirror();
    void releaseTransfer();
    void stopWaitingForMirror();
    void publishProgress();
    // The file's address on the current mirror, as logged (without
    // credentials) and as requested.
    QString currentUrl() const;
    QUrl requestUrl() const;
    bool keepsPart() const { return !partPath.isEmpty() && expectedSize > 0; }
    // The deadline of an attempt starting now, in milliseconds; -1: none.
    qint64 attemptDeadline() const;
    // Whether a window of ticks found the attempt stalled or too slow, and
    // ended it.
    bool judgeWindows();

    TransferEngine* transfers;
    Mirrors* mirrors;
    QPointer<Transfer> transfer;
    QPointer<const DownloadTaskSpecification> mirrorLeader;
    int noDataTicks = 0;
    QString remotePath;
    QString localPath;
    QString partPath;
    QFile file;
    qint64 lastTickBytes = 0;
    qint64 totalBytes;
    qint64 expectedSize;
    qint64 byteLimit;
    qint64 receivedBytes = 0;
    // Bytes of a kept part that the current attempt continues.
    qint64 resumeOffset = 0;
    int progressPermille = -1;
    // receivedBytes at the ticks of the current attempt, newest last, as far
    // back as the longer window reaches.
    QList<qint64> tickHistory;
    bool deadlineFromLimit = false;
    // When the current attempt started on the engine's clock, and how long
    // it may take (-1: no deadline).
    qint64 attemptStartMs = 0;
    qint64 attemptDeadlineMs = -1;
    FTPSiteAccessData currentMirror;
    // Whether currentMirror is borrowed from the registry right now; its name
    // outlives the loan so that the delivering mirror stays known.
    bool mirrorHeld = false;
    bool waitingForMirror = false;
    bool digesting = false;
    bool resumedDelivery = false;
    bool cancelling = false;
    Failure failure = Failure::None;
    QString failureText;
    ContentSum::Algorithm digestAlgorithm = ContentSum::Algorithm::Md5;
    std::unique_ptr<ContentHasher> digest;
    // Bytes of the kept part that the digest of the last attempt covers.
    qint64 carriedBytes = 0;
    QByteArray completedDigest;
    bool optional = false;
    bool absenceFinishes = false;
    // Mirrors that answered an optional file with something else.
    QSet<QString>* lackingMirrors = &ownLackingMirrors;
    QSet<QString> ownLackingMirrors;
    QString lastFailure;
};

#endif
