#include "update/inidownloadtaskspecification.h"

#include "manifest/productiniline.h"
#include "manifest/releasemanifest.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"
#include "verify/filedigest.h"

#include <QFile>
#include <QFileInfo>

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

QString IniDownloadTaskSpecification::localManifestPath() const
{
    return context.layout.downloadedPath(ReleaseManifest::fileName(updateType));
}

void IniDownloadTaskSpecification::reset()
{
    clearSubTasks();
    iniDownload = nullptr;
    sigDownload = nullptr;
    manifestDownload = nullptr;
    verifiedManifest = false;
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
    manifestDownload = nullptr;
    releaseRefused = false;
    manifestRefused = false;
    manifestAbsent = false;
    verifiedManifest = false;
    const QString localManifest = localManifestPath();
    // A manifest to fetch is bound by the size of an ini fetched with it: a
    // kept ini may be the cut-off part of one.
    const bool manifestMissing = fetchesManifest() && !QFile::exists(localManifest);
    if (verifyFailures != 0 || !QFile::exists(localIni) || manifestMissing) {
        iniDownload = new DownloadTaskSpecification(
            context.transfers, context.mirrors, iniName, localIni, -1, this, DOWNLOAD_SHARE);
        iniDownload->setByteLimit(MAX_INI_SIZE);
        iniDownload->setDeadlineFromByteLimit();
        addSubTask(iniDownload);
        checkShare = 1.0 - DOWNLOAD_SHARE;
    }
    if (verifyFailures != 0 || !QFile::exists(localSig)) {
        sigDownload = new DownloadTaskSpecification(
            context.transfers, context.mirrors, sigName, localSig, -1, this, DOWNLOAD_SHARE);
        sigDownload->setByteLimit(MAX_SIGNATURE_SIZE);
        sigDownload->setDeadlineFromByteLimit();
        if (iniDownload)
            sigDownload->followMirrorOf(iniDownload);
        addSubTask(sigDownload);
        checkShare -= DOWNLOAD_SHARE;
    }
    if (!fetchesManifest())
        QFile::remove(localManifest);
    else if (verifyFailures != 0 || manifestMissing) {
        // Within the share of the ini: a manifest is a fraction of its size.
        manifestDownload = new DownloadTaskSpecification(context.transfers, context.mirrors,
            ReleaseManifest::fileName(updateType), localManifest, -1, this, 0.0);
        // Bound, and so timed, by the size of the ini, which arrives first.
        manifestDownload->setByteLimit(ReleaseManifest::MAX_SIZE);
        manifestDownload->setDeadlineFromByteLimit();
        connect(iniDownload, &TaskSpecification::finished, manifestDownload, [this, localIni] {
            manifestDownload->setByteLimit(manifestSizeLimit(QFileInfo(localIni).size()));
        });
        // A mirror without it is told apart from one that fails: the
        // release is refused below with the reason.
        manifestLacking.clear();
        manifestDownload->setOptional(&manifestLacking);
        manifestDownload->finishWhenAbsent();
        manifestDownload->followMirrorOf(iniDownload);
        QFile::remove(localManifest);
        addSubTask(manifestDownload);
    }
    addCheck(localIni, FileCheck::detachedSignature(), checkShare);
}

bool IniDownloadTaskSpecification::roundAccepted()
{
    const QString localIni = context.layout.downloadedPath(updateType + QStringLiteral(".ini"));
    releaseRefused = !releaseMatches(localIni);
    manifestRefused = !releaseRefused && !manifestAccepted(localIni);
    return !releaseRefused && !manifestRefused;
}

bool IniDownloadTaskSpecification::manifestAccepted(const QString& localIni)
{
    const QString localManifest = localManifestPath();
    if (!fetchesManifest())
        return true;
    const auto refuse = [this, &localManifest](const QString& why) {
        Q_EMIT message(QStringLiteral("Release manifest of %1 version %2 %3; refusing the release")
                           .arg(updateType)
                           .arg(version)
                           .arg(why));
        QFile::remove(localManifest);
        return false;
    };
    if (!QFile::exists(localManifest)) {
        if (!trust.requiresManifest(version)) {
            Q_EMIT message(QStringLiteral("Release %1 version %2 has no release manifest; accepted by its "
                                          "product ini's signature, as releases below version %3 may be")
                               .arg(updateType)
                               .arg(version)
                               .arg(trust.legacyBelow));
            return true;
        }
        manifestAbsent = true;
        return refuse(QStringLiteral("is missing"));
    }
    ReleaseManifest::Reader manifest(localManifest);
    if (!manifest.open() || !manifest.readToEnd())
        return refuse(QStringLiteral("is malformed (%1)").arg(manifest.errorString()));
    const ReleaseManifest::Header& header = manifest.header();
    if (!(header.binding == ProductIniLine::Binding { updateType, version }))
        return refuse(
            QStringLiteral("names %1 version %2").arg(header.binding.updateType).arg(header.binding.version));
    const int signers = trust.validSignatures(manifest.bodySha256(), manifest.signatures());
    if (!trust.reachesThreshold(signers)) {
        refuse(QStringLiteral("has %1 valid signatures of release keys where %2 are needed")
                   .arg(signers)
                   .arg(trust.threshold));
        explainUncounted(manifest.bodySha256(), manifest.signatures());
        return false;
    }
    QByteArray iniDigest;
    if (QFileInfo(localIni).size() != header.iniSize
        || !FileDigest::compute(QFile::encodeName(localIni), ContentSum::Algorithm::Sha256, &iniDigest)
        || !header.iniSha256.matches(iniDigest))
        return refuse(QStringLiteral("does not vouch for this product ini"));
    verifiedManifest = true;
    manifestListsPatches = header.hasPatches();
    published = header.published;
    return true;
}

void IniDownloadTaskSpecification::explainUncounted(
    const QByteArray& bodySha256, const QList<ReleaseManifest::Signature>& signatures)
{
    int revoked = 0;
    int unknown = 0;
    for (const QByteArray& signer :
        ReleaseTrust::validSigners(ReleaseManifest::signingContext(), bodySha256, signatures)) {
        if (trust.revoked.contains(signer))
            ++revoked;
        else if (!trust.keys.contains(signer))
            ++unknown;
    }
    if (revoked + unknown == 0)
        return;
    QStringList kinds;
    if (revoked > 0)
        kinds << (revoked == 1 ? QStringLiteral("1 key it has revoked")
                               : QStringLiteral("%1 keys it has revoked").arg(revoked));
    if (unknown > 0)
        kinds << (unknown == 1 ? QStringLiteral("1 key it does not know")
                               : QStringLiteral("%1 keys it does not know").arg(unknown));
    // Anyone can sign with a key of their own: "may", never "is".
    Q_EMIT message(
        QStringLiteral("Release manifest of %1 version %2 is also signed by %3: the release may be "
                       "signed for a newer set of release keys than this updater's; it needs a "
                       "bridge release signed by %4 of its own keys that installs a newer updater")
            .arg(updateType)
            .arg(version)
            .arg(kinds.join(QStringLiteral(" and ")))
            .arg(trust.threshold));
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
    // A signed ini of another release is its mirror's fault alone; a
    // manifest that does not vouch for a verified ini is the fault of the
    // mirror that served it, or of every mirror that had none; a pair that
    // fails its check with one half kept from an earlier attempt, or a kept
    // manifest, blames nobody.
    QStringList blamed;
    const auto servedBy = [&blamed](const DownloadTaskSpecification* download) {
        if (download)
            blamed << download->getCurrentMirror().name;
    };
    if (manifestRefused && manifestAbsent)
        blamed = QStringList(manifestLacking.cbegin(), manifestLacking.cend());
    else if (manifestRefused)
        servedBy(manifestDownload);
    else if (releaseRefused)
        servedBy(iniDownload);
    else if (iniDownload && sigDownload) {
        servedBy(iniDownload);
        servedBy(sigDownload);
    }
    blamed.sort();
    for (const QString& name : std::as_const(blamed)) {
        if (name.isEmpty() || context.mirrors->getMirrorIndex(name) < 0)
            continue;
        Q_EMIT message(manifestRefused
                ? QStringLiteral(
                    "Mirror %1 served no release manifest that vouches for the product ini, removing")
                      .arg(name)
                : QStringLiteral("Mirror %1 served a product ini that failed its check, removing").arg(name));
        context.mirrors->removeMirror(name);
    }
}

bool IniDownloadTaskSpecification::releaseMatches(const QString& localIni)
{
    const QList<ProductIniLine::Binding> bindings = ProductIniLine::readBindings(localIni);
    if (bindings.isEmpty()) {
        // Any signed ini of any older release would do for any version.
        if (!trust.isLegacy(version)) {
            Q_EMIT message(QStringLiteral("Product ini records no release type and version (an unbound "
                                          "release); refusing it for %1 version %2")
                               .arg(updateType)
                               .arg(version));
            return false;
        }
        Q_EMIT message(QStringLiteral("Product ini records no release type and version (an unbound release); "
                                      "accepted below version %1")
                           .arg(trust.legacyBelow));
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
