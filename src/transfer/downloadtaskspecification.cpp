#include "transfer/downloadtaskspecification.h"

#include "transfer/mirrors.h"
#include "transfer/plainhttpreply.h"

#include <QFileInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>

DownloadTaskSpecification::DownloadTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
    const QString& remotePath, const QString& localPath, qint64 expectedSize, QObject* parent,
    double parentProgressRange)
    : TaskSpecification(parent, parentProgressRange)
    , networkManager(networkManager)
    , mirrors(mirrors)
    , remotePath(remotePath)
    , file(localPath)
    , totalBytes(expectedSize)
    , expectedSize(expectedSize)
    , byteLimit(expectedSize)
{ }

DownloadTaskSpecification::~DownloadTaskSpecification()
{
    releaseReply();
}

void DownloadTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Downloading %1").arg(remotePath));
    state = Running;
    startDownload();
}

void DownloadTaskSpecification::reset()
{
    resetDownload();
    TaskSpecification::reset();
}

void DownloadTaskSpecification::timeTick(
    quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading)
{
    downloadDone = static_cast<quint64>(receivedBytes);
    downloadTotal = totalBytes < 0 ? 0 : static_cast<quint64>(totalBytes);
    speed = static_cast<quint64>(qMax<qint64>(0, receivedBytes - lastTickBytes));
    lastTickBytes = receivedBytes;

    if (state != Running || !reply)
        return;
    ++noDataTicks;
    if (noDataTicks > currentMirror.timeoutTicks) {
        errorRetry(QStringLiteral("file %1 timed out on mirror %2").arg(remotePath, currentMirror.name));
        return;
    }
    tickHistory.append(receivedBytes);
    if (tickHistory.size() > currentMirror.timeoutTicks) {
        const qint64 windowBytes = tickHistory.last() - tickHistory.takeFirst();
        if (windowBytes < MIN_WINDOW_BYTES) {
            errorRetry(QStringLiteral("file %1 stalled on mirror %2: %3 bytes in %4 ticks")
                           .arg(remotePath, currentMirror.name)
                           .arg(windowBytes)
                           .arg(currentMirror.timeoutTicks));
            return;
        }
    }
    downloading = true;
}

void DownloadTaskSpecification::userCanceled()
{
    TaskSpecification::userCanceled();
    if (state != Running)
        return;
    resetDownload();
    userCancel();
}

void DownloadTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    Q_UNUSED(other);
    if (reply) {
        Q_EMIT message(QStringLiteral("Abort downloading %1").arg(remotePath));
        resetDownload();
    }
    stopWaitingForMirror();
    errorCancel();
}

void DownloadTaskSpecification::downloadFinished()
{
    Q_EMIT message(QStringLiteral("Downloading %1 finished").arg(remotePath));
    releaseCurrentMirror();
    finish();
}

void DownloadTaskSpecification::startDownload()
{
    switch (mirrors->getRandomMirror(currentMirror)) {
    case Mirrors::MirrorChosen: break;
    case Mirrors::AllMirrorsBusy:
        // Any transfer of the manager that ends may free a mirror.
        if (!waitingForMirror) {
            waitingForMirror = true;
            connect(networkManager, &QNetworkAccessManager::finished, this,
                &DownloadTaskSpecification::onOtherDownloadFinished, Qt::QueuedConnection);
        }
        return;
    default:
        // Names the file that ends the run; the registry's own line does not.
        Q_EMIT message(QStringLiteral("No mirror could deliver %1").arg(remotePath));
        errorCancel();
        return;
    }
    mirrorHeld = true;

    if (digesting)
        digest = std::make_unique<QCryptographicHash>(QCryptographicHash::Md5);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        Q_EMIT error(QStringLiteral("Unable to create file %1 for saving").arg(file.fileName()));
        releaseCurrentMirror();
        errorCancel();
        return;
    }

    QNetworkRequest request { requestUrl() };
    // Whatever the manager's default, a redirect is a failure of the mirror.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Files are published as they must arrive (packed ones already gzip):
    // no content coding is asked for, and with the header set the network
    // layer never decodes one a server adds anyway.
    request.setRawHeader("Accept-Encoding", "identity");
    reply = networkManager->get(request);
    if (!reply) {
        Q_EMIT error(QStringLiteral("Download failed to initialize"));
        releaseCurrentMirror();
        file.close();
        file.remove();
        errorCancel();
        return;
    }
    reply->setReadBufferSize(READ_BUFFER_SIZE);

    if (!reply->isRunning()) {
        // Retry from the event loop: a mirror whose requests fail at once
        // would otherwise recurse once per tolerated error.
        QPointer<QNetworkReply> failed = reply;
        QTimer::singleShot(0, this, [this, failed] {
            if (failed && reply == failed)
                errorRetry(failed->errorString());
        });
        return;
    }
    connect(reply, &QNetworkReply::downloadProgress, this, &DownloadTaskSpecification::onDownloadProgress);
    connect(reply, &QNetworkReply::readyRead, this, &DownloadTaskSpecification::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DownloadTaskSpecification::onDownloadFinished);
    connect(reply, &QNetworkReply::metaDataChanged, this, &DownloadTaskSpecification::onMetaDataChanged);
}

void DownloadTaskSpecification::onOtherDownloadFinished(QNetworkReply* finishedReply)
{
    Q_UNUSED(finishedReply);
    stopWaitingForMirror();
    if (state == Running && !reply)
        startDownload();
}

void DownloadTaskSpecification::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    Q_UNUSED(bytesReceived);
    // Only a size the server announced counts; at the end of a body without
    // one the network layer reports the received size as the total.
    if (bytesTotal > 0 && totalBytes == -1 && announcedLength() >= 0)
        totalBytes = bytesTotal;
}

void DownloadTaskSpecification::onMetaDataChanged()
{
    if (!reply)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    if (code != 200) {
        mirrors->removeMirror(currentMirror.name);
        errorRetry(QStringLiteral("%1 returned %2").arg(currentUrl()).arg(code));
        return;
    }
    const qint64 announced = announcedLength();
    if (byteLimit >= 0 && announced > byteLimit)
        refuseOversized(announced);
}

void DownloadTaskSpecification::refuseOversized(qint64 size)
{
    mirrors->removeMirror(currentMirror.name);
    errorRetry(QStringLiteral("%1 sends %2 bytes or more, more than the %3 expected")
                   .arg(currentUrl())
                   .arg(size)
                   .arg(byteLimit));
}

void DownloadTaskSpecification::onReadyRead()
{
    readData();
}

bool DownloadTaskSpecification::readData()
{
    if (!reply)
        return true;
    // One buffer for all downloads of the thread, which read one at a time:
    // a buffer per file cost an allocation of its size for every file.
    thread_local QByteArray chunk(COPY_CHUNK_SIZE, Qt::Uninitialized);
    QNetworkReply* const current = reply;
    const qint64 receivedBefore = receivedBytes;
    for (;;) {
        noDataTicks = 0;
        if (current->bytesAvailable() <= 0)
            break;
        const qint64 readCount = current->read(chunk.data(), chunk.size());
        if (readCount < 0) {
            errorRetry(current->errorString());
            return false;
        }
        if (readCount == 0)
            break;
        if (byteLimit >= 0 && receivedBytes + readCount > byteLimit) {
            refuseOversized(receivedBytes + readCount);
            return false;
        }
        const qint64 written = file.write(chunk.constData(), readCount);
        if (written != readCount) {
            // A full disk is the usual cause: name the file and the space left.
            const QString reason = written < 0
                ? file.errorString()
                : QStringLiteral("%1 of %2 bytes written").arg(written).arg(readCount);
            errorRetry(QStringLiteral("Could not write %1: %2 (%3 free)")
                           .arg(file.fileName(), reason,
                               QLocale::c().formattedDataSize(
                                   QStorageInfo(QFileInfo(file).path()).bytesAvailable())));
            return false;
        }
        if (digest)
            digest->addData(QByteArrayView(chunk.constData(), readCount));
        receivedBytes += written;
    }
    // One progress report per batch rather than per chunk: the value is the
    // same and the tree above recomputes its sums once.
    if (totalBytes > 0 && receivedBytes != receivedBefore)
        setProgress(qMin(1.0, double(receivedBytes) / double(totalBytes)));
    return true;
}

void DownloadTaskSpecification::onDownloadFinished()
{
    if (!reply)
        return;
    switch (reply->error()) {
    case QNetworkReply::NoError: {
        if (!readData())
            return;
        const qint64 announced = announcedLength();
        if (announced >= 0 && receivedBytes < announced) {
            // The network layer may take a connection closed mid-body for the
            // end of the body; the file is incomplete.
            errorRetry(QStringLiteral("%1 ended after %2 of %3 bytes")
                           .arg(currentUrl())
                           .arg(receivedBytes)
                           .arg(announced));
            return;
        }
        releaseReply();
        file.close();
        if (file.error() != QFileDevice::NoError) {
            // The file may be incomplete on disk; that is no success.
            const QString text = file.errorString();
            file.remove();
            errorRetry(text);
            return;
        }
        if (digest)
            completedMd5 = digest->result();
        digest.reset();
        downloadFinished();
        return;
    }
    case QNetworkReply::AuthenticationRequiredError:
        mirrors->removeMirror(currentMirror.name);
        errorRetry(reply->errorString());
        return;
    default: errorRetry(reply->errorString()); return;
    }
}

bool DownloadTaskSpecification::errorRetry(const QString& text)
{
    mirrors->addMirrorError(currentMirror.name);
    resetDownload();
    Q_EMIT message(text);
    startDownload();
    return true;
}

void DownloadTaskSpecification::resetDownload()
{
    releaseCurrentMirror();
    currentMirror.name.clear();
    releaseReply();
    stopWaitingForMirror();
    noDataTicks = 0;
    tickHistory.clear();
    if (file.isOpen()) {
        file.close();
        file.remove();
    }
    receivedBytes = 0;
    digest.reset();
    completedMd5.clear();
    lastTickBytes = 0;
    totalBytes = expectedSize;
    setProgress(0.0);
}

void DownloadTaskSpecification::releaseCurrentMirror()
{
    if (!mirrorHeld)
        return;
    mirrorHeld = false;
    mirrors->releaseMirror(currentMirror.name);
}

void DownloadTaskSpecification::releaseReply()
{
    if (!reply)
        return;
    reply->disconnect(this);
    // Aborting closes the connection now and lets the manager announce the
    // end of the transfer to downloads waiting for a mirror. A reply of the
    // general network layer with a failure status is on its way to finishing
    // anyway, and aborting it would collide with the error its thread is
    // about to deliver; a PlainHttpReply would not finish before it is
    // deleted, so it is always aborted.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool failing = reply->error() != QNetworkReply::NoError || (status != 0 && status != 200);
    if (reply->isRunning() && (!failing || qobject_cast<PlainHttpReply*>(reply)))
        reply->abort();
    reply->deleteLater();
    reply = nullptr;
}

void DownloadTaskSpecification::stopWaitingForMirror()
{
    if (!waitingForMirror)
        return;
    waitingForMirror = false;
    disconnect(networkManager, &QNetworkAccessManager::finished, this,
        &DownloadTaskSpecification::onOtherDownloadFinished);
}

qint64 DownloadTaskSpecification::announcedLength() const
{
    if (!reply)
        return -1;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? length.toLongLong() : -1;
}

QUrl DownloadTaskSpecification::requestUrl() const
{
    // The path names a file: "#", "?" and "%" in it are part of the name, not
    // URL syntax, so they are sent percent-encoded like every other character
    // that a URL path cannot carry as it is.
    const QByteArray path = QUrl::toPercentEncoding(remotePath, QByteArrayLiteral("/!$&'()*+,;=:@[]"));
    return QUrl(currentMirror.url + QLatin1Char('/') + QString::fromLatin1(path));
}

QString DownloadTaskSpecification::currentUrl() const
{
    return currentMirror.url + QLatin1Char('/') + remotePath;
}
