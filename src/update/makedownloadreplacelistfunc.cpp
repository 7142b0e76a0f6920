#include "makedownloadreplacelistfunc.h"

#include "verify/checksigfunc.h"
#include "verify/filedigest.h"
#include "manifest/filespecifications.h"
#include "manifest/productiniline.h"
#include "manifest/productinireader.h"
#include "manifest/releasemanifest.h"
#include "fileops/newdirectory.h"
#include "fileops/patchapplyfunc.h"
#include "update/digestcache.h"
#include "update/patchcatalog.h"
#include "update/twothreads.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

namespace {

bool fileMatches(const QString& path, const ContentSum& md5)
{
    if (!QFile::exists(path))
        return false;
    CheckSigFunc check(path, FileCheck::listedSum(md5));
    return check.run();
}

// Whether a path's directory exists, looked at once for a run of paths in
// one directory: a fresh session holds no earlier downloads, and says so in
// one look a directory rather than one a file.
class DirectoryPresence
{
public:
    bool holds(const QString& path)
    {
        const QStringView directory = QStringView(path).left(path.lastIndexOf(QLatin1Char('/')));
        if (!looked || directory != lastDirectory) {
            looked = true;
            lastDirectory = directory.toString();
            present = QFileInfo::exists(lastDirectory);
        }
        return present;
    }

private:
    QString lastDirectory;
    bool looked = false;
    bool present = false;
};

// The content of an installed file as far as it is known for certain: its
// MD5 sum and its stamp when the sum was taken; and its
// permission bits as the stamp found them, -1 when it found none.
struct InstalledContent
{
    ContentSum md5;
    DigestCache::Stamp stamp;
    int mode = -1;
};

// One file line on its way through the comparison with its installed file,
// a batch of lines at a time: the installed files' stamps are read on two
// threads, one of which parses the next batch first; the digest cache is
// consulted in the lines' order, the files it does not vouch for are hashed
// on two threads, and the lines are then decided in their order.
struct PendingLine
{
    ProductIniEntry entry;
    QString installed;
    ContentSum installedMd5;
    qint64 installedSize = 0;
    InstalledContent content;
    bool matches = false;

    // Whether the installed file had a stamp, read at readAt; and, when it
    // had none, whether that was for want of any file under its name.
    bool stamped = false;
    bool absent = false;
    qint64 readAt = 0;
    // Set while the installed file waits to be hashed.
    bool needsHash = false;
    QByteArray computed;
    bool unchanged = false;
    int modeAfter = -1;
};

constexpr qsizetype BatchSize = 512;

void stampInstalled(const InstallationLayout& layout, PendingLine& line)
{
    if (line.installedMd5.isEmpty())
        return;
    // Read before the stamp: a later write then moves the stamp past this moment.
    line.readAt = DigestCache::fileClockNowNs();
    // Only a failed lstat sets errno here: anything else under the name
    // leaves it 0 and gets the full look.
    errno = 0;
    line.stamped
        = DigestCache::stampOf(layout.installedPath(line.installed), line.content.stamp, &line.content.mode);
    line.absent = !line.stamped && (errno == ENOENT || errno == ENOTDIR);
}

// Decides the line from its stamp and the digests `cache` remembers, or
// leaves it for hashing. A remembered digest that holds is confirmed.
void consultCache(const InstallationLayout& layout, DigestCache& cache, PendingLine& line)
{
    if (!line.stamped) {
        line.matches = !line.absent && fileMatches(layout.installedPath(line.installed), line.installedMd5);
        return;
    }
    ContentSum remembered;
    if (!cache.recall(line.installed, line.content.stamp, line.installedMd5, line.readAt, &remembered)) {
        line.needsHash = true;
        return;
    }
    line.matches = remembered == line.installedMd5;
    line.content.md5 = remembered;
}

void hashInstalled(const InstallationLayout& layout, PendingLine& line)
{
    const QString path = layout.installedPath(line.installed);
    if (!FileDigest::compute(QFile::encodeName(path), line.installedMd5.algorithm(), &line.computed))
        line.computed.clear();
    DigestCache::Stamp after;
    line.unchanged = DigestCache::stampOf(path, after, &line.modeAfter) && after == line.content.stamp;
}

// Decides a hashed line. A file that changed while it was read has no
// certain content; one that did not enters `cache` when it matches, and
// `learned` is set then.
void decideHashed(DigestCache& cache, bool& learned, PendingLine& line)
{
    line.matches = line.installedMd5.matches(line.computed);
    line.content.mode = line.modeAfter;
    if (!line.unchanged) {
        line.content.stamp = DigestCache::Stamp();
        return;
    }
    if (!line.computed.isEmpty())
        line.content.md5 = ContentSum::fromDigest(line.computed, line.installedMd5.algorithm());
    if (line.matches) {
        cache.insert(line.installed, line.content.stamp, line.installedMd5, line.readAt);
        learned = true;
    }
}

// A patch for the file when the index has one from its installed content
// to the listed one and the decoder can reach over both.
std::shared_ptr<const FilePatchSpecification> choosePatch(const PatchCatalog& catalog,
    const ProductIniEntry& entry, const InstalledContent& installed, const ContentSum& resultMd5,
    qint64 resultSize)
{
    if (installed.md5.isEmpty() || !PatchApplyFunc::canApply(installed.stamp.size, resultSize))
        return nullptr;
    const PatchIndex::Entry* found
        = catalog.find(entry.download.fileName, installed.md5, installed.stamp.size, resultMd5, resultSize);
    if (!found)
        return nullptr;
    auto patch = std::make_shared<FilePatchSpecification>();
    patch->path = found->path;
    patch->md5 = ContentSum::fromText(found->md5, resultMd5.algorithm());
    patch->size = found->size;
    patch->basePath = entry.replace.pureDestFilePath();
    patch->baseStamp = installed.stamp;
    patch->resultMd5 = resultMd5;
    patch->resultSize = resultSize;
    patch->unpacked = entry.replace.hasUnzip();
    return patch;
}

// Whether the installed file's execute bits agree with the recorded mode;
// the rest of the mode is what the installation gives every file. `known`
// is the file's mode when its stamp was just read, -1 otherwise.
bool modeMatches(const QString& path, int known, int recordedMode)
{
    if (known < 0) {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return false;
        known = int(info.st_mode);
    }
    return ((known & 0111) != 0) == ((recordedMode & 0111) != 0);
}

// Puts the manifest's next file record in place of the ini line's sums; false
// when it is not the record of the same file, size and packing.
bool takeManifestDigests(
    ReleaseManifest::Reader& manifest, const ProductIniReader::Line& line, ProductIniEntry* entry)
{
    ReleaseManifest::File file;
    if (!manifest.nextFile(&file))
        return false;
    FileDownloadSpecification& download = entry->download;
    FileReplaceSpecification& replace = entry->replace;
    if (file.section != line.section || file.key != line.key || file.size != download.size
        || file.isPacked() != replace.hasUnzip()
        || (file.isPacked() && file.unpackedSize != replace.unzipSize))
        return false;
    download.md5 = file.sha256;
    replace.unzipMd5 = file.unpackedSha256;
    return true;
}

// Gives the heap's free room back to the system. Room freed on this pool
// thread would otherwise stay resident, out of reach of the other threads.
void releaseFreeHeap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace

MakeDownloadReplaceListFunc::MakeDownloadReplaceListFunc(
    const InstallationLayout& layout, const QString& updateType, FileSpecifications& specifications)
    : layout(layout)
    , updateType(updateType)
    , specifications(specifications)
{ }

void MakeDownloadReplaceListFunc::usePatchIndex(const QString& path, int releaseVersion)
{
    patchIndexPath = path;
    version = releaseVersion;
}

bool MakeDownloadReplaceListFunc::unpackedResultReady(const QString& key, const ContentSum& md5) const
{
    // What an earlier attempt's patch gave stays only while it is right.
    const QString unpacked = layout.unpackedPath(key);
    if (fileMatches(unpacked, md5))
        return true;
    QFile::remove(unpacked);
    return false;
}

bool MakeDownloadReplaceListFunc::stageInstalledCopy(
    const QString& installed, const QString& staged, const ContentSum& sum) const
{
    QFile::remove(staged);
    if (!NewDirectory::makePath(QFileInfo(staged).path())
        || !QFile::copy(layout.installedPath(installed), staged))
        return false;
    // Read again: the file may have changed since it was compared.
    if (fileMatches(staged, sum))
        return true;
    QFile::remove(staged);
    return false;
}

bool MakeDownloadReplaceListFunc::run()
{
    const bool compiled = compileLists();
    releaseFreeHeap();
    return compiled;
}

bool MakeDownloadReplaceListFunc::compileLists()
{
    specifications.clear();
    const QString iniPath = layout.downloadedPath(updateType + QStringLiteral(".ini"));

    // The second reading, with the release's patches, says what it adds.
    Q_EMIT message(patchIndexPath.isEmpty() ? QStringLiteral("Compiling download and replace list")
                                            : QStringLiteral("Choosing patches for the changed files"));
    ProductIniReader ini(iniPath);
    ini.open();
    const bool modesRecorded = ini.hasExecutables();
    const QStringList executables = ini.executables();
    const double total = double(ini.keyCount());
    if (total == 0) {
        Q_EMIT message(QStringLiteral("No files in product ini"));
        return false;
    }

    const auto invalidLine = [this](const QString& section) {
        Q_EMIT message(
            QStringLiteral("Warning: product ini contains invalid line in section %1").arg(section));
        return false;
    };

    // With a manifest, its SHA-256 digests decide every file's content in
    // place of the ini's MD5 sums.
    std::unique_ptr<ReleaseManifest::Reader> manifest;
    if (!manifestPath.isEmpty()) {
        manifest = std::make_unique<ReleaseManifest::Reader>(manifestPath);
        if (!manifest->open()) {
            Q_EMIT message(
                QStringLiteral("Release manifest cannot be read: %1").arg(manifest->errorString()));
            return false;
        }
        specifications.algorithm = ContentSum::Algorithm::Sha256;
    }
    QString unlistedKey;

    const QString cachePath = layout.installedPath(DigestCache::fileName());
    DigestCache digests(cachePath, specifications.algorithm);
    if (!fullCheck)
        digests.load();
    bool learned = false;

    PatchCatalog patches;
    const auto log = [this](const QString& text) { Q_EMIT message(text); };
    const bool patching = !patchIndexPath.isEmpty()
        && patches.load(
            patchIndexPath, { updateType, version }, log, manifest ? &manifest->header() : nullptr);
    qint64 wholeBytes = 0;
    qint64 patchBytes = 0;
    int patchCount = 0;

    const QSet<QString> executableSet(executables.cbegin(), executables.cend());
    QSet<QString> listedExecutables;

    double done = 0;
    double nextReport = 0;
    // Each report is an event for the GUI thread: one per thousandth.
    const auto advance = [this, &done, &nextReport, total] {
        if (++done < nextReport && done < total)
            return;
        nextReport = done + total / 1000;
        Q_EMIT progress(done / total);
    };
    // Room for every key at once: growing by steps would hold the old and
    // the new room together, and room never written costs nothing.
    specifications.reserveDownloads(ini.keyCount());
    specifications.replaceList.reserve(ini.keyCount());
    DirectoryPresence earlierDownloads;
    ProductIniReader::Line line;
    QString invalidSection;
    bool invalid = false;
    bool more = true;
    // Parses the file lines that follow into `into`, as many as a batch
    // holds, and acts on the delete lines among them.
    const auto readBatch = [&](std::vector<PendingLine>& into) {
        into.clear();
        while (more && !invalid && unlistedKey.isEmpty() && qsizetype(into.size()) < BatchSize
            && (more = ini.next(&line))) {
            if (line.section == ProductIniLine::deleteSection()) {
                advance();
                // A path that leaves the installation directory is never acted on.
                if (!ProductIniLine::isSafeRelativePath(line.key)) {
                    invalid = true;
                    invalidSection = line.section;
                    break;
                }
                // The updater, its settings and its mirrors stay whatever a
                // release says: without them no later release could repair it.
                if (InstallationLayout::updaterFileNames().contains(line.key)) {
                    Q_EMIT message(QStringLiteral("Warning: product ini lists %1 for deletion; it is the "
                                                  "updater's own file and stays")
                                       .arg(line.key));
                    continue;
                }
                if (QFile::exists(layout.installedPath(line.key)))
                    specifications.deleteList.append(line.key);
                continue;
            }
            PendingLine pending;
            if (ProductIniLine::parseFileLine(line.section, line.key, line.value, &pending.entry)
                != ProductIniLine::LineError::None) {
                advance();
                invalid = true;
                invalidSection = line.section;
                break;
            }
            if (manifest && !takeManifestDigests(*manifest, line, &pending.entry)) {
                advance();
                unlistedKey = line.section + QLatin1Char('/') + line.key;
                break;
            }
            const FileReplaceSpecification& replace = pending.entry.replace;
            pending.installed = replace.pureDestFilePath();
            // A player's settings and the digest cache stay this installation's own.
            if (InstallationLayout::stateFileNames().contains(pending.installed)) {
                advance();
                Q_EMIT message(QStringLiteral("Warning: product ini lists %1 to install; it is the "
                                              "updater's own state and stays")
                                   .arg(pending.installed));
                continue;
            }
            pending.installedMd5 = replace.hasUnzip() ? replace.unzipMd5 : pending.entry.download.md5;
            pending.installedSize = replace.hasUnzip() ? replace.unzipSize : pending.entry.download.size;
            into.push_back(std::move(pending));
        }
    };
    std::vector<PendingLine> batch;
    std::vector<PendingLine> following;
    batch.reserve(BatchSize);
    following.reserve(BatchSize);
    for (readBatch(batch); !batch.empty(); std::swap(batch, following)) {
        // The next batch is parsed while this one's stamps are read.
        besideOnTwoThreads([&] { readBatch(following); }, batch.size(),
            [this, &batch](size_t i) { stampInstalled(layout, batch[i]); });
        std::vector<PendingLine*> lines;
        for (PendingLine& pending : batch) {
            consultCache(layout, digests, pending);
            if (pending.needsHash)
                lines.push_back(&pending);
        }
        onTwoThreads(lines.size(), [this, &lines](size_t i) { hashInstalled(layout, *lines[i]); });
        specifications.checkedFiles += qsizetype(batch.size());
        for (PendingLine& pending : batch) {
            advance();
            if (pending.needsHash)
                decideHashed(digests, learned, pending);
            ProductIniEntry& entry = pending.entry;
            const FileDownloadSpecification& download = entry.download;
            FileReplaceSpecification& replace = entry.replace;
            const QString& key = download.fileName;
            if (modesRecorded) {
                const bool executable = executableSet.contains(pending.installed);
                replace.recordedMode = executable ? 0755 : 0644;
                if (executable)
                    listedExecutables.insert(pending.installed);
            }
            if (patching)
                patches.noteListed(key, pending.installedMd5, pending.installedSize);
            // A file whose execute bits disagree with the record is installed anew.
            if (pending.matches
                && (!modesRecorded
                    || modeMatches(
                        layout.installedPath(pending.installed), pending.content.mode, replace.recordedMode)))
                continue;
            specifications.replaceList.append(replace);
            // Right content under the wrong execute bits: the installed file
            // is what a download would bring, so it is installed again from
            // a copy, with the rollback of any other file.
            if (pending.matches
                && stageInstalledCopy(pending.installed,
                    replace.hasUnzip() ? layout.unpackedPath(key) : layout.downloadedPath(key),
                    pending.installedMd5))
                continue;
            if (replace.hasUnzip() && unpackedResultReady(key, replace.unzipMd5))
                continue;
            const QString downloaded = layout.downloadedPath(key);
            if (earlierDownloads.holds(downloaded) && fileMatches(downloaded, download.md5))
                continue;
            if (patching)
                entry.download.patch = choosePatch(
                    patches, entry, pending.content, pending.installedMd5, pending.installedSize);
            if (entry.download.patch) {
                ++patchCount;
                patchBytes += entry.download.patch->size;
                wholeBytes += download.size;
            }
            specifications.listDownload(download.md5, download.size, std::move(entry.download.patch));
        }
    }
    if (invalid)
        return invalidLine(invalidSection);
    const auto manifestMismatch = [this, &manifest](const QString& key) {
        Q_EMIT message(
            QStringLiteral("Release manifest does not match the product ini at %1%2")
                .arg(key, manifest->failed() ? QStringLiteral(": ") + manifest->errorString() : QString()));
        return false;
    };
    // The reading stopped at a line the two do not agree on.
    if (!unlistedKey.isEmpty())
        return manifestMismatch(unlistedKey);
    if (!ini.intact()) {
        Q_EMIT message(
            QStringLiteral("Product ini changed or could not be read while the lists were compiled"));
        return false;
    }
    // Every file line of the ini read: the manifest must end here too.
    ReleaseManifest::File surplus;
    if (manifest && manifest->nextFile(&surplus))
        return manifestMismatch(surplus.section + QLatin1Char('/') + surplus.key);
    if (manifest && manifest->failed())
        return manifestMismatch(QStringLiteral("its end"));
    for (const QString& path : std::as_const(executables)) {
        if (!listedExecutables.contains(path))
            Q_EMIT message(
                QStringLiteral("Warning: product ini marks %1 executable but does not list it; ignored")
                    .arg(path));
    }
    if (patching) {
        patches.reportUnused(log);
        if (patchCount > 0)
            Q_EMIT message(QStringLiteral("%1 files come as patches: %2 bytes instead of %3")
                               .arg(patchCount)
                               .arg(patchBytes)
                               .arg(wholeBytes));
    }
    // Only what this run confirmed is kept: entries of files no longer listed
    // go. Nothing learned and nothing dropped: the cache file says it all.
    if (digests.dropUnconfirmed() > 0 || learned)
        digests.save();
    return true;
}
