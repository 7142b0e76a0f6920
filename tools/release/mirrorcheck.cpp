#include "mirrorcheck.h"

#include "inifilelines.h"
#include "manifest/channelrecord.h"
#include "manifest/chunkindex.h"
#include "manifest/contenthasher.h"
#include "manifest/productiniline.h"
#include "mirrorprobe.h"
#include "releasekey.h"
#include "transfer/mirrors.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>
#include <QTimer>

namespace {

// The most the updater takes of a product ini and of a signature.
constexpr qint64 MaxIniSize = 64 * 1024 * 1024;
constexpr qint64 MaxSignatureSize = 4 * 1024;

// A file received into the work directory, with the digests its checks need.
struct ReceivedFile
{
    explicit ReceivedFile(const QString& path)
        : file(path)
    { }

    bool take(const char* data, qint64 size)
    {
        sha1.addData(QByteArrayView(data, size));
        sha256.addData(QByteArrayView(data, size));
        return file.write(data, size) == size;
    }

    QFile file;
    QCryptographicHash sha1 { QCryptographicHash::Sha1 };
    ContentHasher sha256 { ContentSum::Algorithm::Sha256 };
};

MirrorProbe::Sink collectInto(QByteArray* data)
{
    return [data](const char* piece, qint64 size) {
        data->append(piece, size);
        return true;
    };
}

QString describe(const ReleaseManifest::File& file)
{
    return QStringLiteral("[%1] %2 (%3 bytes)").arg(file.section, file.key).arg(file.size);
}

} // namespace

MirrorCheck::MirrorCheck(
    TransferEngine* transfers, const Options& options, const ReleaseKey& iniKey, QObject* parent)
    : QObject(parent)
    , transfers(transfers)
    , options(options)
    , iniKey(iniKey)
    , ticker(new QTimer(this))
    , releaseUrl(Mirrors::versionUrl(options.mirrorUrl, options.version))
    , iniName(options.updateType + QStringLiteral(".ini"))
{
    ticker->setInterval(1000);
    connect(ticker, &QTimer::timeout, this, &MirrorCheck::tick);
}

MirrorCheck::~MirrorCheck() = default;

void MirrorCheck::start()
{
    ticker->start();
    // Only an updater with release keys reads the channel record.
    if (trust.keys.isEmpty())
        fetchIni();
    else
        fetchChannelRecord();
}

void MirrorCheck::fetchChannelRecord(int format)
{
    const QString name = ChannelRecord::fileName(options.updateType, format);
    auto text = std::make_shared<QByteArray>();
    auto* probed = new MirrorProbe(transfers, Mirrors::fileUrl(options.mirrorUrl, name), this);
    probed->setDeadlineFromBound();
    connect(probed, &MirrorProbe::finished, this, [this, probed, text, name, format] {
        probed->deleteLater();
        checkChannelRecord(format, name, probed, *text);
        // Updaters that know rollouts read the second format first.
        if (format == 1)
            fetchChannelRecord(2);
        else
            fetchIni();
    });
    probed->fetch(ChannelRecord::MAX_SIZE, collectInto(text.get()));
}

void MirrorCheck::checkChannelRecord(
    int format, const QString& name, const MirrorProbe* probed, const QByteArray& text)
{
    switch (probed->outcome()) {
    case MirrorProbe::Outcome::Served: break;
    case MirrorProbe::Outcome::Absent:
        // An older release tool wrote the first format alone, which every
        // updater reads.
        if (format == 2)
            return;
        report(QStringLiteral("missing: %1 (%2): updaters cannot confirm the latest version")
                   .arg(name)
                   .arg(probed->status()));
        return;
    case MirrorProbe::Outcome::TooLarge:
        report(QStringLiteral("too large: %1: more than the updater takes").arg(name));
        return;
    default:
        report(QStringLiteral("failed: %1 (%2)")
                   .arg(name,
                       probed->errorString().isEmpty() ? QString::number(probed->status())
                                                       : probed->errorString()));
        return;
    }
    ChannelRecord record;
    QByteArray body;
    QString why;
    if (!ChannelRecord::parse(text, &record, &body, &why)) {
        report(QStringLiteral("bad channel record: %1: %2").arg(name, why));
        return;
    }
    if (record.updateType != options.updateType) {
        report(QStringLiteral("bad channel record: %1 names update type %2").arg(name, record.updateType));
        return;
    }
    if (record.format != format) {
        report(QStringLiteral("bad channel record: %1 is of format %2").arg(name).arg(record.format));
        return;
    }
    // Updaters take the second format when they can: one older than the
    // first would hold them back.
    if (format == 1)
        firstChannelSerial = record.serial;
    else if (record.serial < firstChannelSerial)
        report(QStringLiteral("stale channel record: %1 has serial %2, below the first format's %3")
                   .arg(name)
                   .arg(record.serial)
                   .arg(firstChannelSerial));
    const int signers
        = trust.validSignatures(ChannelRecord::signingContext(record.format), body, record.signatures);
    if (!trust.reachesThreshold(signers))
        report(QStringLiteral("bad channel record: %1 has %2 valid signatures of release keys where %3 are "
                              "needed")
                   .arg(name)
                   .arg(signers)
                   .arg(trust.threshold));
    if (record.isExpired(QDateTime::currentSecsSinceEpoch()))
        report(
            QStringLiteral("expired: %1: serial %2 expired %3")
                .arg(name)
                .arg(record.serial)
                .arg(QDateTime::fromSecsSinceEpoch(record.expires, QTimeZone::utc()).toString(Qt::ISODate)));
}

void MirrorCheck::tick()
{
    // A probe given up now starts the next one, which has not waited yet;
    // ended probes are deleted later and ignore the tick.
    const QList<MirrorProbe*> running = findChildren<MirrorProbe*>(Qt::FindDirectChildrenOnly);
    for (MirrorProbe* probe : running)
        probe->tick();
}

void MirrorCheck::report(const QString& line)
{
    ++problems;
    Q_EMIT problem(line);
}

QString MirrorCheck::shown(const QString& path) const
{
    return QString::number(options.version) + QLatin1Char('/') + path;
}

MirrorProbe* MirrorCheck::probe(const QString& path, bool timed)
{
    auto* probed = new MirrorProbe(transfers, Mirrors::fileUrl(releaseUrl, path), this);
    if (timed)
        probed->setDeadlineFromBound();
    return probed;
}

bool MirrorCheck::judgeServed(const QString& path, const MirrorProbe* probe, qint64 listedSize)
{
    const QString where = shown(path);
    switch (probe->outcome()) {
    case MirrorProbe::Outcome::Served:
        if (listedSize < 0 || probe->size() == listedSize)
            return true;
        report(QStringLiteral("wrong size: %1: %2 bytes, listed %3")
                   .arg(where)
                   .arg(probe->size())
                   .arg(listedSize));
        return false;
    case MirrorProbe::Outcome::Absent:
        report(QStringLiteral("missing: %1 (%2)").arg(where).arg(probe->status()));
        return false;
    case MirrorProbe::Outcome::Redirected:
        report(QStringLiteral("redirected: %1 (%2), not followed").arg(where).arg(probe->status()));
        return false;
    case MirrorProbe::Outcome::OtherStatus:
        report(QStringLiteral("unexpected answer: %1 (%2)").arg(where).arg(probe->status()));
        return false;
    case MirrorProbe::Outcome::TooLarge:
        if (listedSize < 0)
            report(QStringLiteral("too large: %1: more than the updater takes").arg(where));
        else if (probe->size() >= 0)
            report(QStringLiteral("wrong size: %1: %2 bytes, listed %3")
                       .arg(where)
                       .arg(probe->size())
                       .arg(listedSize));
        else
            report(
                QStringLiteral("wrong size: %1: more than %2 bytes, listed %2").arg(where).arg(listedSize));
        return false;
    case MirrorProbe::Outcome::Failed:
    case MirrorProbe::Outcome::Pending: break;
    }
    report(QStringLiteral("failed: %1 (%2)").arg(where, probe->errorString()));
    return false;
}

void MirrorCheck::fetchIni()
{
    if (!workDirectory.isValid()) {
        report(QStringLiteral("failed: no temporary directory for the product ini (%1)")
                   .arg(workDirectory.errorString()));
        finish();
        return;
    }
    iniPath = workDirectory.filePath(iniName);
    auto received = std::make_shared<ReceivedFile>(iniPath);
    if (!received->file.open(QIODevice::WriteOnly)) {
        report(QStringLiteral("failed: cannot write %1 (%2)").arg(iniPath, received->file.errorString()));
        finish();
        return;
    }
    MirrorProbe* ini = probe(iniName);
    connect(ini, &MirrorProbe::finished, this, [this, ini, received] {
        received->file.close();
        iniSha1 = received->sha1.result();
        iniSha256 = received->sha256.result();
        onIni(ini);
    });
    ini->fetch(MaxIniSize, [received](const char* data, qint64 size) { return received->take(data, size); });
}

void MirrorCheck::onIni(MirrorProbe* ini)
{
    ini->deleteLater();
    // Without the ini there is no list of files to check.
    if (!judgeServed(iniName, ini, -1)) {
        finish();
        return;
    }
    iniSize = ini->size();
    auto signature = std::make_shared<QByteArray>();
    MirrorProbe* probed = probe(iniName + QStringLiteral(".sig"));
    connect(probed, &MirrorProbe::finished, this, [this, probed, signature] {
        probed->deleteLater();
        if (judgeServed(iniName + QStringLiteral(".sig"), probed, -1)
            && !iniKey.verifyDigest(iniSha1, *signature))
            report(QStringLiteral("bad signature: %1 does not verify the product ini")
                       .arg(shown(iniName + QStringLiteral(".sig"))));
        checkIniBinding();
        fetchManifest();
    });
    probed->fetch(MaxSignatureSize, collectInto(signature.get()));
}

void MirrorCheck::checkIniBinding()
{
    const QList<ProductIniLine::Binding> bindings = ProductIniLine::readBindings(iniPath);
    if (bindings.isEmpty() && !trust.isLegacy(options.version))
        report(QStringLiteral("bad product ini: %1 records no release type and version").arg(shown(iniName)));
    const ProductIniLine::Binding wanted { options.updateType, options.version };
    for (const ProductIniLine::Binding& binding : bindings) {
        if (!(binding == wanted))
            report(QStringLiteral("bad product ini: %1 was released for %2 version %3")
                       .arg(shown(iniName), binding.updateType)
                       .arg(binding.version));
    }
}

void MirrorCheck::fetchManifest()
{
    const QString name = ReleaseManifest::fileName(options.updateType);
    manifestPath = workDirectory.filePath(name);
    auto received = std::make_shared<ReceivedFile>(manifestPath);
    if (!received->file.open(QIODevice::WriteOnly)) {
        report(
            QStringLiteral("failed: cannot write %1 (%2)").arg(manifestPath, received->file.errorString()));
        fetchPatchIndex();
        return;
    }
    MirrorProbe* manifest = probe(name);
    connect(manifest, &MirrorProbe::finished, this, [this, manifest, received, name] {
        received->file.close();
        manifest->deleteLater();
        // Absent is fine where the release keys ask for none (no keys, or a
        // release below the legacy floor).
        if (manifest->outcome() != MirrorProbe::Outcome::Absent || trust.requiresManifest(options.version))
            manifestUsable = judgeServed(name, manifest, -1) && checkManifest();
        fetchPatchIndex();
    });
    manifest->fetch(ReleaseManifest::MAX_SIZE,
        [received](const char* data, qint64 size) { return received->take(data, size); });
}

bool MirrorCheck::checkManifest()
{
    const QString where = shown(ReleaseManifest::fileName(options.updateType));
    ReleaseManifest::Reader manifest(manifestPath);
    if (!manifest.open() || !manifest.readToEnd()) {
        report(QStringLiteral("bad manifest: %1: %2").arg(where, manifest.errorString()));
        return false;
    }
    const ReleaseManifest::Header& header = manifest.header();
    if (!(header.binding == ProductIniLine::Binding { options.updateType, options.version })) {
        report(QStringLiteral("bad manifest: %1 names %2 version %3")
                   .arg(where, header.binding.updateType)
                   .arg(header.binding.version));
        return false;
    }
    if (!trust.keys.isEmpty()) {
        const int signers = trust.validSignatures(manifest.bodySha256(), manifest.signatures());
        if (!trust.reachesThreshold(signers)) {
            report(
                QStringLiteral("bad manifest: %1 has %2 valid signatures of release keys where %3 are needed")
                    .arg(where)
                    .arg(signers)
                    .arg(trust.threshold));
            return false;
        }
    }
    if (header.iniSize != iniSize || !header.iniSha256.matches(iniSha256)) {
        report(QStringLiteral("bad manifest: %1 does not bind the product ini served").arg(where));
        return false;
    }
    manifestBody = manifest.bodySha256();
    manifestListsPatches = header.hasPatches();
    manifestPatchesSha256 = header.patchesSha256;
    manifestPatchesSize = header.patchesSize;
    return true;
}

void MirrorCheck::fetchPatchIndex()
{
    const QString name = PatchIndex::fileName(options.updateType);
    MirrorProbe* index = probe(name);
    connect(index, &MirrorProbe::finished, this, [this, index] { onPatchIndex(index); });
    index->fetch(PatchIndex::MAX_SIZE, collectInto(&patchIndexData));
}

void MirrorCheck::onPatchIndex(MirrorProbe* index)
{
    index->deleteLater();
    const QString name = PatchIndex::fileName(options.updateType);
    // Patches are optional, unless the manifest names an index.
    const bool named = manifestUsable && manifestListsPatches;
    if (index->outcome() == MirrorProbe::Outcome::Absent && !named) {
        startFiles();
        return;
    }
    if (!judgeServed(name, index, -1)) {
        startFiles();
        return;
    }
    if (manifestUsable && !manifestListsPatches) {
        report(QStringLiteral("bad patch index: %1 is not named by the release manifest").arg(shown(name)));
    } else if (named
        && (patchIndexData.size() != manifestPatchesSize
            || !manifestPatchesSha256.matches(
                ContentHasher::hash(patchIndexData, ContentSum::Algorithm::Sha256)))) {
        report(
            QStringLiteral("bad patch index: %1 is not the one the release manifest names").arg(shown(name)));
    }
    const QString signatureName = name + QStringLiteral(".sig");
    auto signature = std::make_shared<QByteArray>();
    MirrorProbe* probed = probe(signatureName);
    connect(probed, &MirrorProbe::finished, this, [this, probed, signature, signatureName] {
        probed->deleteLater();
        if (judgeServed(signatureName, probed, -1) && !iniKey.verify(patchIndexData, *signature))
            report(QStringLiteral("bad signature: %1 does not verify the patch index")
                       .arg(shown(signatureName)));
        onPatchIndexSignature();
    });
    probed->fetch(MaxSignatureSize, collectInto(signature.get()));
}

void MirrorCheck::onPatchIndexSignature()
{
    const QString where = shown(PatchIndex::fileName(options.updateType));
    QStringList refused;
    if (!patchIndex.parse(patchIndexData, &refused)) {
        report(QStringLiteral("bad patch index: %1 is not a patch index").arg(where));
        patchIndex.entries.clear();
    } else if (!(patchIndex.binding == ProductIniLine::Binding { options.updateType, options.version })) {
        report(QStringLiteral("bad patch index: %1 was made for %2 version %3")
                   .arg(where, patchIndex.binding.updateType)
                   .arg(patchIndex.binding.version));
    }
    for (const QString& why : std::as_const(refused))
        report(QStringLiteral("bad patch index: %1: %2").arg(where, why));
    patchIndexData.clear();
    startFiles();
}

void MirrorCheck::startFiles()
{
    iniLines = std::make_unique<IniFileLines>(iniPath);
    if (manifestUsable) {
        manifestLines = std::make_unique<ReleaseManifest::Reader>(manifestPath);
        manifestUsable = manifestLines->open();
    }
    fill();
}

bool MirrorCheck::nextIniItem(Item* item)
{
    const QString manifestName = shown(ReleaseManifest::fileName(options.updateType));
    ProductIniEntry entry;
    ReleaseManifest::File file;
    if (!iniLines->next(&entry)) {
        if (manifestUsable && manifestLines->nextFile(&file))
            report(QStringLiteral("bad manifest: %1 lists %2, which the product ini does not")
                       .arg(manifestName, describe(file)));
        return false;
    }
    item->path = entry.download.section + QLatin1Char('/') + entry.download.fileName;
    item->size = entry.download.size;
    item->digest = entry.download.md5;
    item->digestSource = QStringLiteral("the product ini's");
    item->patch = false;
    if (!manifestUsable)
        return true;
    // From here on the files are checked against the ini alone.
    if (!manifestLines->nextFile(&file)) {
        report(QStringLiteral("bad manifest: %1 ends before [%2] %3")
                   .arg(manifestName, entry.download.section, entry.download.fileName));
        manifestUsable = false;
    } else if (file.section != entry.download.section || file.key != entry.download.fileName
        || file.size != entry.download.size) {
        report(QStringLiteral("bad manifest: %1 lists %2 where the product ini lists [%3] %4 (%5 bytes)")
                   .arg(manifestName, describe(file), entry.download.section, entry.download.fileName)
                   .arg(entry.download.size));
        manifestUsable = false;
    } else {
        item->digest = file.sha256;
        item->digestSource = QStringLiteral("the manifest's");
    }
    return true;
}

bool MirrorCheck::nextItem(Item* item)
{
    if (iniLines) {
        if (nextIniItem(item))
            return true;
        iniLines.reset();
        manifestLines.reset();
    }
    if (nextPatch == patchIndex.entries.size())
        return false;
    const PatchIndex::Entry& entry = patchIndex.entries.at(nextPatch++);
    item->path = entry.path;
    item->size = entry.size;
    item->digest = ContentSum::fromText(entry.md5, patchIndex.algorithm);
    item->digestSource = QStringLiteral("the patch index's");
    item->patch = true;
    return true;
}

void MirrorCheck::fill()
{
    Item item;
    while (inFlight < Streams && !done && nextItem(&item)) {
        // A whole file is judged by its rate alone, as the updater's downloads are.
        MirrorProbe* probed = probe(item.path, !options.deep || !item.digest.isDigest());
        ++inFlight;
        if (!options.deep || !item.digest.isDigest()) {
            connect(probed, &MirrorProbe::finished, this, [this, probed, item] { onItem(probed, item, {}); });
            probed->measure(item.size);
            continue;
        }
        auto hasher = std::make_shared<ContentHasher>(item.digest.algorithm());
        connect(probed, &MirrorProbe::finished, this,
            [this, probed, item, hasher] { onItem(probed, item, hasher->result()); });
        probed->fetch(item.size, [hasher](const char* data, qint64 size) {
            hasher->addData(QByteArrayView(data, size));
            return true;
        });
    }
    if (inFlight == 0)
        fetchChunkBinding();
}

void MirrorCheck::onItem(MirrorProbe* probed, const Item& item, const QByteArray& digest)
{
    probed->deleteLater();
    --inFlight;
    ++(item.patch ? patches : files);
    if (judgeServed(item.path, probed, item.size) && !digest.isEmpty() && !item.digest.matches(digest))
        report(QStringLiteral("wrong content: %1: its %2 is not %3")
                   .arg(shown(item.path), item.digest.algorithmName(), item.digestSource));
    fill();
}

void MirrorCheck::finish()
{
    if (done)
        return;
    done = true;
    ticker->stop();
    Q_EMIT finished();
}

void MirrorCheck::fetchChunkBinding()
{
    if (chunksStarted || done)
        return;
    chunksStarted = true;
    const QString name = ChunkBinding::fileName(options.updateType);
    MirrorProbe* probed = probe(name);
    auto data = std::make_shared<QByteArray>();
    connect(probed, &MirrorProbe::finished, this, [this, probed, data] { onChunkBinding(probed, *data); });
    probed->fetch(ChunkBinding::MAX_SIZE, collectInto(data.get()));
}

void MirrorCheck::onChunkBinding(MirrorProbe* probed, const QByteArray& data)
{
    probed->deleteLater();
    const QString name = ChunkBinding::fileName(options.updateType);
    // Chunks are optional: a release without them has no binding.
    if (probed->outcome() == MirrorProbe::Outcome::Absent || !judgeServed(name, probed, -1)) {
        finish();
        return;
    }
    const QString where = shown(name);
    QString why;
    if (!chunkBinding.parse(data, &why)) {
        report(QStringLiteral("bad chunk binding: %1: %2").arg(where, why));
        finish();
        return;
    }
    if (!(chunkBinding.binding == ProductIniLine::Binding { options.updateType, options.version }))
        report(QStringLiteral("bad chunk binding: %1 names %2 version %3")
                   .arg(where, chunkBinding.binding.updateType)
                   .arg(chunkBinding.binding.version));
    else if (!manifestUsable || chunkBinding.manifestSha256 != manifestBody)
        report(QStringLiteral("bad chunk binding: %1 does not name the release manifest served").arg(where));
    else if (!trust.keys.isEmpty()
        && !trust.reachesThreshold(trust.validSignatures(
            ChunkBinding::signingContext(), chunkBinding.bodySha256(), chunkBinding.signatures)))
        report(QStringLiteral("bad chunk binding: %1 has fewer valid signatures of release keys than %2")
                   .arg(where)
                   .arg(trust.threshold));
    const QString indexName = ChunkIndex::fileName(options.updateType);
    chunkIndexPath = workDirectory.filePath(indexName);
    auto received = std::make_shared<ReceivedFile>(chunkIndexPath);
    if (!received->file.open(QIODevice::WriteOnly)) {
        report(
            QStringLiteral("failed: cannot write %1 (%2)").arg(chunkIndexPath, received->file.errorString()));
        finish();
        return;
    }
    MirrorProbe* index = probe(indexName);
    connect(index, &MirrorProbe::finished, this, [this, index, received, indexName] {
        received->file.close();
        index->deleteLater();
        if (judgeServed(indexName, index, chunkBinding.indexSize)
            && !chunkBinding.indexSha256.matches(received->sha256.result()))
            report(
                QStringLiteral("bad chunk index: %1 is not the one its binding names").arg(shown(indexName)));
        onChunkIndex(index);
    });
    index->fetch(ChunkIndex::MAX_SIZE,
        [received](const char* data, qint64 size) { return received->take(data, size); });
}

void MirrorCheck::onChunkIndex(MirrorProbe* probed)
{
    if (probed->outcome() != MirrorProbe::Outcome::Served || !checkChunkIndex()) {
        finish();
        return;
    }
    fillPacks();
}

bool MirrorCheck::checkChunkIndex()
{
    const QString where = shown(ChunkIndex::fileName(options.updateType));
    ChunkIndex::Reader reader(chunkIndexPath);
    QHash<QString, qint64> needed;
    ChunkIndex::File file;
    ChunkIndex::Chunk chunk;
    if (reader.open()) {
        while (reader.nextFile(&file)) {
            while (reader.nextChunk(&chunk)) {
                qint64& end = needed[chunk.pack];
                end = qMax(end, chunk.offset + chunk.packedSize);
            }
        }
    }
    if (!reader.done()) {
        report(QStringLiteral("bad chunk index: %1: %2").arg(where, reader.errorString()));
        return false;
    }
    if (!(reader.binding() == ProductIniLine::Binding { options.updateType, options.version })) {
        report(QStringLiteral("bad chunk index: %1 names %2 version %3")
                   .arg(where, reader.binding().updateType)
                   .arg(reader.binding().version));
        return false;
    }
    for (auto it = needed.cbegin(); it != needed.cend(); ++it)
        packSizes.append({ it.key(), it.value() });
    std::sort(packSizes.begin(), packSizes.end());
    return true;
}

void MirrorCheck::fillPacks()
{
    while (inFlight < Streams && !done && nextPack < packSizes.size()) {
        const QPair<QString, qint64> pack = packSizes.at(nextPack++);
        // Packs lie in the mirror root, beside the release directories.
        const QString path = ChunkIndex::packPath(pack.first);
        auto* probed = new MirrorProbe(transfers, Mirrors::fileUrl(options.mirrorUrl, path), this);
        ++inFlight;
        connect(probed, &MirrorProbe::finished, this, [this, probed, pack, path] {
            probed->deleteLater();
            --inFlight;
            ++packs;
            // Longer is fine: a pack also holds chunks that other releases use.
            switch (probed->outcome()) {
            case MirrorProbe::Outcome::TooLarge: break;
            case MirrorProbe::Outcome::Served:
                if (probed->size() < pack.second)
                    report(QStringLiteral("short pack: %1 is %2 bytes, the chunk index needs %3")
                               .arg(path)
                               .arg(probed->size())
                               .arg(pack.second));
                break;
            case MirrorProbe::Outcome::Absent:
                report(QStringLiteral("missing: %1 (%2)").arg(path).arg(probed->status()));
                break;
            default:
                report(QStringLiteral("failed: %1 (%2)")
                           .arg(path,
                               probed->errorString().isEmpty() ? QString::number(probed->status())
                                                               : probed->errorString()));
            }
            fillPacks();
        });
        probed->measure(pack.second);
    }
    if (inFlight == 0)
        finish();
}
