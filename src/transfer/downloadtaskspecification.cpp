#include "transfer/downloadtaskspecification.h"

#include "transfer/displayedurl.h"
#include "transfer/mirrors.h"
#include "transfer/transfer.h"
#include "transfer/transferengine.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>
#include <QUrl>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 HASH_CHUNK_SIZE = 1024 * 1024;

} // namespace

DownloadTaskSpecification::DownloadTaskSpecification(TransferEngine* transfers, Mirrors* mirrors,
    const QString& remotePath, const QString& localPath, qint64 expectedSize, QObject* parent,
    double parentProgressRange)
    : TaskSpecification(parent, parentProgressRange)
    , transfers(transfers)
    , mirrors(mirrors)
    , remotePath(remotePath)
    , localPath(localPath)
    , totalBytes(expectedSize)
    , expectedSize(expectedSize)
    , byteLimit(expectedSize)
{
    connect(transfers, &TransferEngine::pausedChanged, this, &DownloadTaskSpecification::onPausedChanged);
}

DownloadTaskSpecification::~DownloadTaskSpecification()
{
    releaseTransfer();
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

    if (state != Running || !transfer)
        return;
    // Data held back by the bandwidth cap is no sign of a slow mirror: a
    // tick spent mostly waiting for the cap starts the windows again. A
    // mirror that trickles is seldom held, and stays judged.
    const bool throttled = transfer->takeHeldShare() > 0.5;
    if (transfer->takeActivity())
        noDataTicks = 0;
    ++noDataTicks;
    if (noDataTicks > currentMirror.timeoutTicks) {
        errorRetry(QStringLiteral("file %1 timed out on mirror %2").arg(remotePath, currentMirror.name));
        return;
    }
    // The whole attempt counts, held or not: the deadline already allows
    // for the cap.
    if (attemptDeadlineMs >= 0 && transfers->nowMs() - attemptStartMs > attemptDeadlineMs) {
        errorRetry(QStringLiteral("file %1 not received within %2 s on mirror %3")
                       .arg(remotePath)
                       .arg((attemptDeadlineMs + 999) / 1000)
                       .arg(currentMirror.name));
        return;
    }
    if (throttled)
        tickHistory.clear();
    tickHistory.append(receivedBytes);
    if (judgeWindows())
        return;
    downloading = true;
}

bool DownloadTaskSpecification::judgeWindows()
{
    const qsizetype ticks = tickHistory.size() - 1;
    const auto judge = [&](int windowTicks, qint64 leastBytes, const char* verdict) {
        if (ticks < windowTicks)
            return false;
        const qint64 windowBytes = tickHistory.last() - tickHistory.at(ticks - windowTicks);
        if (windowBytes >= leastBytes)
            return false;
        errorRetry(QStringLiteral("file %1 %2 on mirror %3: %4 bytes in %5 ticks")
                       .arg(remotePath, QLatin1String(verdict), currentMirror.name)
                       .arg(windowBytes)
                       .arg(windowTicks));
        return true;
    };
    if (judge(currentMirror.timeoutTicks, MIN_WINDOW_BYTES, "stalled")
        || judge(SLOW_WINDOW_TICKS, MIN_SLOW_WINDOW_BYTES, "too slow"))
        return true;
    if (ticks >= qMax(currentMirror.timeoutTicks, SLOW_WINDOW_TICKS))
        tickHistory.removeFirst();
    return false;
}

qint64 DownloadTaskSpecification::attemptDeadline() const
{
    if (!deadlineFromLimit || byteLimit < 0)
        return -1;
    return deadlineForLimit(byteLimit, transfers->maxRate());
}

qint64 DownloadTaskSpecification::deadlineForLimit(qint64 byteLimit, qint64 cap)
{
    const qint64 atLeastRate
        = (byteLimit * SLOW_WINDOW_TICKS * 1000 + MIN_SLOW_WINDOW_BYTES - 1) / MIN_SLOW_WINDOW_BYTES;
    // A cap below the least rate would otherwise fail a healthy line.
    const qint64 atCap = cap > 0 ? (byteLimit * 1000 + cap - 1) / cap : 0;
    return qMin(DEADLINE_CEILING_MS, DEADLINE_FLOOR_MS + qMax(atLeastRate, atCap));
}

void DownloadTaskSpecification::userCanceled()
{
    TaskSpecification::userCanceled();
    // The reset reports progress: a slot that cancels again is not heard twice.
    if (state != Running || cancelling)
        return;
    cancelling = true;
    resetDownload();
    cancelling = false;
    userCancel();
}

void DownloadTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    Q_UNUSED(other);
    if (transfer)
        Q_EMIT message(QStringLiteral("Abort downloading %1").arg(remotePath));
    resetDownload();
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
    // A pause holds back new attempts too; its end starts them.
    if (transfers->isPaused())
        return;
    int borrowed = Mirrors::NoMirrorAvailable;
    if (mirrorLeader && !mirrorLeader->getCurrentMirror().name.isEmpty()
        && !lackingMirrors->contains(mirrorLeader->getCurrentMirror().name))
        borrowed = mirrors->getNamedMirror(mirrorLeader->getCurrentMirror().name, currentMirror);
    if (borrowed == Mirrors::NoMirrorAvailable)
        borrowed = mirrors->getRandomMirror(currentMirror, *lackingMirrors);
    switch (borrowed) {
    case Mirrors::MirrorChosen: break;
    case Mirrors::AllMirrorsBusy:
        if (!waitingForMirror) {
            waitingForMirror = true;
            connect(mirrors, &Mirrors::mirrorFreed, this, &DownloadTaskSpecification::onMirrorFreed,
                Qt::QueuedConnection);
        }
        return;
    default:
        lastFailure = lackingMirrors->isEmpty() ? QStringLiteral("no mirror could deliver it")
                                                : QStringLiteral("no mirror has it");
        // Names the file that ends the run; the registry's own line does not.
        if (!optional)
            Q_EMIT message(QStringLiteral("No mirror could deliver %1").arg(remotePath));
        if (optional && absenceFinishes && !lackingMirrors->isEmpty()) {
            finish();
            return;
        }
        errorCancel();
        return;
    }
    mirrorHeld = true;

    if (!openTarget()) {
        lastFailure = QStringLiteral("Unable to create file %1 for saving").arg(file.fileName());
        // An optional file is given up without alarm; its caller says why.
        if (!optional)
            Q_EMIT error(lastFailure);
        releaseCurrentMirror();
        errorCancel();
        return;
    }
    attemptStartMs = transfers->nowMs();
    attemptDeadlineMs = attemptDeadline();
    transfer = transfers->get(requestUrl(), this, resumeOffset);
    transfer->setHeadHandler([this] { return onHead(); });
    transfer->setBodyHandler([this](const char* data, qint64 size) { return onBody(data, size); });
    connect(transfer, &Transfer::finished, this, &DownloadTaskSpecification::onTransferFinished);
    // Last: a slot that hears of it may end this attempt.
    publishProgress();
}

bool DownloadTaskSpecification::openTarget()
{
    failure = Failure::None;
    resumedDelivery = false;
    resumeOffset = 0;
    // What the last attempt summed, if it covers exactly the part still kept.
    std::unique_ptr<ContentHasher> carried = std::move(digest);
    if (digesting)
        digest = std::make_unique<ContentHasher>(digestAlgorithm);

    file.setFileName(keepsPart() ? partPath : localPath);
    // The usual case: nothing is there yet, and creating the file is the
    // only look needed. Whatever is there is examined first.
    const bool created
        = keepsPart() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    const qint64 kept = keepsPart() && !created ? keptPartSize() : 0;
    if (kept == 0) {
        if (!created && !file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return false;
    } else {
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !file.resize(kept))
            return false;
        resumeOffset = kept;
        // The sum covers the whole file: what is kept is read once, not again
        // after every pause or retry.
        const bool summed = digest && carried && carriedBytes == kept;
        if (summed)
            digest = std::move(carried);
        for (qint64 hashed = summed ? kept : 0; digest && hashed < kept;) {
            const QByteArray piece = file.read(qMin(HASH_CHUNK_SIZE, kept - hashed));
            if (piece.isEmpty()) {
                resumeOffset = 0;
                digest->reset();
                break;
            }
            digest->addData(piece);
            hashed += piece.size();
        }
        if (!file.resize(resumeOffset) || !file.seek(resumeOffset))
            return false;
    }
    receivedBytes = resumeOffset;
    lastTickBytes = resumeOffset;
    return true;
}

qint64 DownloadTaskSpecification::keptPartSize()
{
    const QByteArray path = QFile::encodeName(partPath);
    const bool ownName = partPath == localPath;
    struct stat status;
    if (lstat(path.constData(), &status) != 0)
        return 0;
    if (!S_ISREG(status.st_mode)) {
        // Not what this task leaves: whatever it is goes, without being
        // followed. A directory under the file's own name holds other
        // downloads; opening the file fails instead.
        if (!S_ISDIR(status.st_mode))
            unlink(path.constData());
        else if (!ownName)
            QDir(partPath).removeRecursively();
        return 0;
    }
    // A download under its own name may be linked into the installation
    // already: writing into it would change the installed file.
    if (ownName && status.st_nlink > 1) {
        unlink(path.constData());
        return 0;
    }
    const qint64 size = status.st_size;
    if (size > expectedSize) {
        Q_EMIT message(QStringLiteral("Discarding the part of %1: %2 bytes, more than the %3 listed")
                           .arg(remotePath)
                           .arg(size)
                           .arg(expectedSize));
        return 0;
    }
    // A whole file under its own name is one the list compiler found wrong.
    if (size == expectedSize && ownName)
        return 0;
    // A range that starts at the end would be refused: the last byte is
    // asked for again.
    return size == expectedSize ? size - 1 : size;
}

bool DownloadTaskSpecification::onHead()
{
    mirrors->setMultiplexed(currentMirror.name, transfer->isMultiplexed());
    const int status = transfer->status();
    // A 200 brings the whole file, whatever was asked for.
    const bool wholeFile = status == 200;
    if (status == 206 && resumeOffset > 0) {
        if (transfer->contentRangeStart() != resumeOffset) {
            return fail(Failure::DiscardPart,
                QStringLiteral("%1 sent another range than from byte %2; starting over")
                    .arg(currentUrl())
                    .arg(resumeOffset));
        }
        resumedDelivery = true;
    } else if (status == 416 && resumeOffset > 0) {
        return fail(Failure::DiscardPart,
            QStringLiteral("%1 refused the range from byte %2; starting over")
                .arg(currentUrl())
                .arg(resumeOffset));
    } else if (status == 407) {
        return fail(Failure::StrikeMirror,
            QStringLiteral("%1: the proxy asks for credentials (407)").arg(currentUrl()));
    } else if (!wholeFile) {
        return refuseAnswer(QStringLiteral("%1 returned %2").arg(currentUrl()).arg(status));
    }
    const qint64 announced = transfer->contentLength();
    const qint64 before = wholeFile ? 0 : receivedBytes;
    if (announced >= 0) {
        if (byteLimit >= 0 && before + announced > byteLimit) {
            return refuseAnswer(QStringLiteral("%1 sends %2 bytes or more, more than the %3 expected")
                                    .arg(currentUrl())
                                    .arg(before + announced)
                                    .arg(byteLimit));
        }
        // Only a size the server announced counts, and only when none was listed.
        if (expectedSize < 0)
            totalBytes = before + announced;
    }
    // Only now: a mirror refused above leaves the kept part as it was.
    if (wholeFile && resumeOffset > 0) {
        Q_EMIT message(QStringLiteral(
            "%1 ignored the range from byte %2 and sends the whole file; the %2 bytes kept are "
            "dropped")
                           .arg(currentUrl())
                           .arg(resumeOffset));
        restartFromZero();
    }
    return true;
}

bool DownloadTaskSpecification::onBody(const char* data, qint64 size)
{
    if (byteLimit >= 0 && receivedBytes + size > byteLimit) {
        return refuseAnswer(QStringLiteral("%1 sends %2 bytes or more, more than the %3 expected")
                                .arg(currentUrl())
                                .arg(receivedBytes + size)
                                .arg(byteLimit));
    }
    const qint64 written = file.write(data, size);
    if (written != size) {
        // A full disk is the usual cause: name the file and the space left.
        const QString reason = written < 0 ? file.errorString()
                                           : QStringLiteral("%1 of %2 bytes written").arg(written).arg(size);
        return fail(Failure::CountError,
            QStringLiteral("Could not write %1: %2 (%3 free)")
                .arg(file.fileName(), reason,
                    QLocale::c().formattedDataSize(QStorageInfo(QFileInfo(file).path()).bytesAvailable())));
    }
    if (digest)
        digest->addData(QByteArrayView(data, size));
    receivedBytes += size;
    publishProgress();
    return true;
}

bool DownloadTaskSpecification::fail(Failure kind, const QString& text)
{
    failure = kind;
    failureText = text;
    return false;
}

bool DownloadTaskSpecification::refuseAnswer(const QString& text)
{
    return fail(optional ? Failure::NotOnMirror : Failure::StrikeMirror, text);
}

void DownloadTaskSpecification::restartFromZero()
{
    (void)file.resize(0);
    (void)file.seek(0);
    resumeOffset = 0;
    receivedBytes = 0;
    lastTickBytes = 0;
    tickHistory.clear();
    if (digest)
        digest->reset();
    publishProgress();
}

void DownloadTaskSpecification::onTransferFinished()
{
    Transfer* const ended = transfer;
    if (!ended)
        return;
    switch (failure) {
    case Failure::StrikeMirror:
        mirrors->removeMirror(currentMirror.name);
        errorRetry(failureText);
        return;
    case Failure::CountError: errorRetry(failureText); return;
    case Failure::NotOnMirror:
        // Once per mirror and set: a publisher learns which mirror lacks
        // what, without a line for every file it lacks.
        if (!lackingMirrors->contains(currentMirror.name))
            Q_EMIT message(QStringLiteral("Mirror %1 does not have %2 (%3); it is not asked for such files "
                                          "again in this run")
                               .arg(currentMirror.name, remotePath, failureText));
        lackingMirrors->insert(currentMirror.name);
        // Bytes this answer wrote are not the file's; a part kept from a
        // mirror that has it stays.
        if (receivedBytes != resumeOffset)
            restartFromZero();
        resetDownload();
        startDownload();
        return;
    case Failure::DiscardPart: {
        // Nothing the mirror must answer for: once the part is gone the
        // file is asked for whole.
        restartFromZero();
        const QString text = failureText;
        resetDownload();
        Q_EMIT message(text);
        startDownload();
        return;
    }
    case Failure::None: break;
    }
    if (!ended->succeeded()) {
        if (ended->certificateRejected()) {
            mirrors->removeMirror(currentMirror.name);
            errorRetry(
                QStringLiteral("%1: certificate not accepted: %2").arg(currentUrl(), ended->errorString()));
        } else if (ended->proxyStatus() == 407 || ended->proxyStatus() == 401) {
            // Some proxies refuse a tunnel with 401 rather than 407.
            mirrors->removeMirror(currentMirror.name);
            errorRetry(QStringLiteral("%1: the proxy asks for credentials (%2)")
                           .arg(currentUrl())
                           .arg(ended->proxyStatus()));
        } else {
            errorRetry(QStringLiteral("%1: %2").arg(currentUrl(), ended->errorString()));
        }
        return;
    }
    if (expectedSize >= 0 && receivedBytes < expectedSize
        && (ended->contentLength() < 0 || resumedDelivery)) {
        // A body without a length that ends early, or a short range: an
        // interruption, whose bytes stay for the next attempt. A whole
        // response of the wrong size is for the file check to judge.
        errorRetry(QStringLiteral("%1 ended after %2 of %3 bytes")
                       .arg(currentUrl())
                       .arg(receivedBytes)
                       .arg(expectedSize));
        return;
    }
    releaseTransfer();
    file.close();
    if (file.error() != QFileDevice::NoError) {
        // The file may be incomplete on disk; that is no success.
        const QString text = file.errorString();
        file.remove();
        errorRetry(text);
        return;
    }
    if (keepsPart() && partPath != localPath
        && std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(localPath).constData())
            != 0) {
        Q_EMIT error(QStringLiteral("Unable to create file %1 for saving").arg(localPath));
        releaseCurrentMirror();
        errorCancel();
        return;
    }
    if (digest)
        completedDigest = digest->result();
    digest.reset();
    downloadFinished();
}

bool DownloadTaskSpecification::errorRetry(const QString& text)
{
    mirrors->addMirrorError(currentMirror.name);
    resetDownload();
    Q_EMIT message(text);
    startDownload();
    return true;
}

void DownloadTaskSpecification::onMirrorFreed()
{
    stopWaitingForMirror();
    if (state == Running && !transfer)
        startDownload();
}

void DownloadTaskSpecification::onPausedChanged(bool paused)
{
    if (state != Running)
        return;
    if (paused) {
        // The part stays; the mirror owes nothing for this end.
        resetDownload();
    } else if (!transfer && !waitingForMirror) {
        startDownload();
    }
}

void DownloadTaskSpecification::resetDownload()
{
    releaseCurrentMirror();
    currentMirror.name.clear();
    releaseTransfer();
    stopWaitingForMirror();
    noDataTicks = 0;
    tickHistory.clear();
    if (file.isOpen()) {
        file.close();
        if (!keepsPart())
            file.remove();
    }
    // The sum so far stays with the part it covers, for the next attempt,
    // and so does the progress: a pause must not look like a loss.
    carriedBytes = receivedBytes;
    if (!keepsPart()) {
        digest.reset();
        receivedBytes = 0;
    }
    resumeOffset = 0;
    failure = Failure::None;
    completedDigest.clear();
    lastTickBytes = receivedBytes;
    totalBytes = expectedSize;
    progressPermille = -1;
    publishProgress();
    if (progressPermille < 0)
        setProgress(0.0);
}

void DownloadTaskSpecification::publishProgress()
{
    if (totalBytes <= 0)
        return;
    // The tree above recomputes its sums on every report: one per
    // thousandth is all a progress bar shows.
    const double fraction = qMin(1.0, double(receivedBytes) / double(totalBytes));
    const int permille = int(fraction * 1000);
    if (permille == progressPermille)
        return;
    progressPermille = permille;
    setProgress(fraction);
}

void DownloadTaskSpecification::releaseCurrentMirror()
{
    if (!mirrorHeld)
        return;
    mirrorHeld = false;
    mirrors->releaseMirror(currentMirror.name);
}

void DownloadTaskSpecification::releaseTransfer()
{
    if (!transfer)
        return;
    transfer->disconnect(this);
    // Ends it now: libcurl must not call this task's handlers any more.
    transfer->abort();
    transfer->deleteLater();
    transfer = nullptr;
}

void DownloadTaskSpecification::stopWaitingForMirror()
{
    if (!waitingForMirror)
        return;
    waitingForMirror = false;
    disconnect(mirrors, &Mirrors::mirrorFreed, this, &DownloadTaskSpecification::onMirrorFreed);
}

QUrl DownloadTaskSpecification::requestUrl() const
{
    return Mirrors::fileUrl(currentMirror.url, remotePath);
}

QString DownloadTaskSpecification::currentUrl() const
{
    return DisplayedUrl::of(currentMirror.url) + QLatin1Char('/') + remotePath;
}
