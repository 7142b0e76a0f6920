#include "update/inidownloadtaskspecification.h"

#include "manifest/productiniline.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"

#include <QFile>

namespace {

constexpr double DOWNLOAD_SHARE = 0.3333;

} // namespace

IniDownloadTaskSpecification::IniDownloadTaskSpecification(const DownloadContext& context,
    const QString& updateType, int version, QObject* parent, double parentProgressRange)
    : VerifiedDownloadTaskSpecification(parent, parentProgressRange)
    , context(context)
    , updateType(updateType)
    , version(version)
{ }

void IniDownloadTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Download / check product ini"));
    startRound();
}

void IniDownloadTaskSpecification::reset()
{
    clearSubTasks();
    iniDownload = nullptr;
    sigDownload = nullptr;
    verifyFailures = 0;
    TaskSpecification::reset();
}

void IniDownloadTaskSpecification::addRound()
{
    const QString iniName = updateType + QStringLiteral(".ini");
    const QString sigName = iniName + QStringLiteral(".sig");
    const QString localIni = context.layout.downloadedPath(iniName);
    const QString localSig = context.layout.downloadedPath(sigName);

    double checkShare = 1.0;
    iniDownload = nullptr;
    sigDownload = nullptr;
    releaseRefused = false;
    if (verifyFailures != 0 || !QFile::exists(localIni)) {
        iniDownload = new DownloadTaskSpecification(
            context.transfers, context.mirrors, iniName, localIni, -1, this, DOWNLOAD_SHARE);
        iniDownload->setByteLimit(MAX_INI_SIZE);
        addSubTask(iniDownload);
        checkShare = 1.0 - DOWNLOAD_SHARE;
    }
    if (verifyFailures != 0 || !QFile::exists(localSig)) {
        sigDownload = new DownloadTaskSpecification(
            context.transfers, context.mirrors, sigName, localSig, -1, this, DOWNLOAD_SHARE);
        sigDownload->setByteLimit(MAX_SIGNATURE_SIZE);
        if (iniDownload)
            sigDownload->followMirrorOf(iniDownload);
        addSubTask(sigDownload);
        checkShare -= DOWNLOAD_SHARE;
    }
    addCheck(localIni, FileCheck::detachedSignature(), checkShare);
}

bool IniDownloadTaskSpecification::roundAccepted()
{
    releaseRefused = !releaseMatches(context.layout.downloadedPath(updateType + QStringLiteral(".ini")));
    return !releaseRefused;
}

TaskState IniDownloadTaskSpecification::roundFailed()
{
    ++verifyFailures;
    strikeServingMirrors();
    if (verifyFailures > MAX_VERIFY_FAILURES || context.mirrors->mirrorData().isEmpty()) {
        Q_EMIT message(QStringLiteral("Could not verify the product ini file. Aborting"));
        return ErrorCanceled;
    }
    // The user asked to stop while the check ran; fetching again would
    // ignore that request.
    if (cancelRequested)
        return UserCanceled;
    Q_EMIT message(QStringLiteral("Could not verify the product ini file. Retrying"));
    return Running;
}

void IniDownloadTaskSpecification::strikeServingMirrors()
{
    // A signed ini of another release is its mirror's fault alone; a pair
    // that fails its check with one half kept from an earlier attempt
    // blames nobody.
    QList<const DownloadTaskSpecification*> blamed;
    if (releaseRefused)
        blamed = { iniDownload };
    else if (iniDownload && sigDownload)
        blamed = { iniDownload, sigDownload };
    for (const DownloadTaskSpecification* download : std::as_const(blamed)) {
        if (!download)
            continue;
        const QString name = download->getCurrentMirror().name;
        if (context.mirrors->getMirrorIndex(name) < 0)
            continue;
        Q_EMIT message(
            QStringLiteral("Mirror %1 served a product ini that failed its check, removing").arg(name));
        context.mirrors->removeMirror(name);
    }
}

bool IniDownloadTaskSpecification::releaseMatches(const QString& localIni)
{
    const QList<ProductIniLine::Binding> bindings = ProductIniLine::readBindings(localIni);
    if (bindings.isEmpty()) {
        Q_EMIT message(QStringLiteral("Product ini records no release type and version (an unbound release); "
                                      "accepting it"));
        return true;
    }
    const ProductIniLine::Binding wanted { updateType, version };
    for (const ProductIniLine::Binding& binding : bindings) {
        if (!(binding == wanted)) {
            Q_EMIT message(
                QStringLiteral("Product ini was released for %1 version %2, not for %3 version %4; "
                               "refusing it")
                    .arg(binding.updateType)
                    .arg(binding.version)
                    .arg(wanted.updateType)
                    .arg(wanted.version));
            return false;
        }
    }
    return true;
}
