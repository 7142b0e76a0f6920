#ifndef DOWNLOADTASKSPECIFICATION_H
#define DOWNLOADTASKSPECIFICATION_H

#include "transfer/ftpsiteaccessdata.h"
#include "tasks/taskspecification.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class Mirrors;
class QNetworkAccessManager;

// Fetches one file over HTTP from a random mirror into a local file. Every
// failed attempt (network error, status other than 200, write error, too many
// ticks without data) is charged to its mirror and the download starts over
// on a freshly chosen one; the task gives up only when no mirror is left or
// the local file cannot be created.
class DownloadTaskSpecification : public TaskSpecification
{
    Q_OBJECT

public:
    DownloadTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
        const QString& remotePath, const QString& localPath, qint64 expectedSize, QObject* parent,
        double parentProgressRange);
    ~DownloadTaskSpecification() override;

    // The mirror of the current or last attempt; after a successful download
    // it still names the mirror that delivered the file.
    const FTPSiteAccessData& getCurrentMirror() const { return currentMirror; }

    // Most bytes the network layer buffers for one reply before it stops
    // reading from the socket; keeps memory flat whatever the file size.
    static constexpr qint64 READ_BUFFER_SIZE = 512 * 1024;
    // Size of the fixed buffer through which the body is moved to disk.
    static constexpr qint64 COPY_CHUNK_SIZE = 64 * 1024;
    // Least an attempt must receive over the mirror's time-out window of
    // ticks; less is a trickle that would keep an unattended run alive.
    static constexpr qint64 MIN_WINDOW_BYTES = 1024;

    // Most bytes the file may receive; a body that is announced or turns out
    // longer strikes the mirror off and nothing beyond the limit is written.
    // Defaults to the expected size; -1: no limit.
    void setByteLimit(qint64 limit) { byteLimit = limit; }

    // Takes the MD5 sum of the body as it is written, so that a check of the
    // file need not read it again.
    void digestWhileReceiving() { digesting = true; }
    // The MD5 sum of the file the last attempt completed; empty when none
    // did or the sum was not asked for.
    QByteArray receivedMd5() const { return completedMd5; }

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    virtual void downloadFinished();

private Q_SLOTS:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onReadyRead();
    void onDownloadFinished();
    void onMetaDataChanged();
    void onOtherDownloadFinished(QNetworkReply* finishedReply);

private:
    void startDownload();
    void resetDownload();
    bool readData();
    bool errorRetry(const QString& text);
    // Strikes off the mirror that sends more than byteLimit and tries another.
    void refuseOversized(qint64 size);
    void releaseCurrentMirror();
    void releaseReply();
    void stopWaitingForMirror();
    // The file's address on the current mirror, as logged and as requested.
    QString currentUrl() const;
    QUrl requestUrl() const;
    // Body length the server announced, or -1.
    qint64 announcedLength() const;

    QNetworkAccessManager* networkManager;
    Mirrors* mirrors;
    // Guarded: the manager deletes its replies when it goes first.
    QPointer<QNetworkReply> reply;
    int noDataTicks = 0;
    QString remotePath;
    QFile file;
    qint64 lastTickBytes = 0;
    qint64 totalBytes;
    qint64 expectedSize;
    qint64 byteLimit;
    qint64 receivedBytes = 0;
    // receivedBytes at the ticks of the current attempt, newest last, as far
    // back as the time-out window reaches.
    QList<qint64> tickHistory;
    FTPSiteAccessData currentMirror;
    // Whether currentMirror is borrowed from the registry right now; its name
    // outlives the loan so that the delivering mirror stays known.
    bool mirrorHeld = false;
    bool waitingForMirror = false;
    bool digesting = false;
    std::unique_ptr<QCryptographicHash> digest;
    QByteArray completedMd5;
};

#endif
