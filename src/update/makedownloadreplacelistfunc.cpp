#include "makedownloadreplacelistfunc.h"

#include "verify/checksigfunc.h"
#include "manifest/filespecifications.h"
#include "manifest/productiniline.h"
#include "fileops/patchapplyfunc.h"
#include "update/digestcache.h"
#include "update/patchcatalog.h"

#include <QFile>
#include <QSet>
#include <QSettings>

#include <sys/stat.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <utility>

namespace {

bool fileMatches(const QString& path, const Md5Sum& md5)
{
    if (!QFile::exists(path))
        return false;
    CheckSigFunc check(path, FileCheck::listedSum(md5));
    return check.run();
}

// The content of an installed file as far as it is known for certain: its
// MD5 sum and its stamp when the sum was taken; and its
// permission bits as the stamp found them, -1 when it found none.
struct InstalledContent
{
    Md5Sum md5;
    DigestCache::Stamp stamp;
    int mode = -1;
};

// Whether the installed file at `relative` has the digest md5, taken from
// `known` when the file is provably unchanged since it was hashed. Digests
// that hold are kept in `kept` for the next run; `learned` is set when one
// of them was not known before. `seen` receives the file's content when it
// was hashed or known, matching or not.
bool installedMatches(const InstallationLayout& layout, const QString& relative, const Md5Sum& md5,
    const DigestCache& known, DigestCache& kept, bool& learned, InstalledContent& seen)
{
    const QString path = layout.installedPath(relative);
    if (md5.isEmpty())
        return fileMatches(path, md5);
    // Read before the stamp: a later write then moves the stamp past this moment.
    const qint64 readAt = DigestCache::fileClockNowNs();
    DigestCache::Stamp before;
    if (!DigestCache::stampOf(path, before, &seen.mode))
        return fileMatches(path, md5);
    const Md5Sum remembered = known.digest(relative, before);
    if (!remembered.isEmpty()) {
        const bool same = md5 == remembered;
        if (same)
            kept.insert(relative, before, remembered, readAt);
        seen.md5 = remembered;
        seen.stamp = before;
        return same;
    }
    CheckSigFunc check(path, FileCheck::md5Digest(md5.toString()));
    const bool same = check.run();
    DigestCache::Stamp after;
    seen.mode = -1;
    // A file that changed while it was read has no certain content.
    if (!DigestCache::stampOf(path, after, &seen.mode) || after != before)
        return same;
    if (!check.computedMd5().isEmpty()) {
        seen.md5 = Md5Sum::fromDigest(check.computedMd5());
        seen.stamp = before;
    }
    if (same) {
        kept.insert(relative, before, md5, readAt);
        learned = true;
    }
    return same;
}

// A patch for the file when the index has one from its installed content
// to the listed one and the decoder can reach over both.
std::shared_ptr<const FilePatchSpecification> choosePatch(const PatchCatalog& catalog,
    const ProductIniEntry& entry, const InstalledContent& installed, const Md5Sum& resultMd5,
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
    patch->md5 = found->md5;
    patch->size = found->size;
    patch->basePath = entry.replace.pureDestFilePath();
    patch->baseStamp = installed.stamp;
    patch->resultMd5 = resultMd5.toString();
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

// Gives the heap's free room back to the system. Room freed on this pool
// thread would otherwise stay resident, out of reach of the other threads.
void releaseFreeHeap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// One section of the product ini as QSettings orders it: its keys and, but
// for the delete section, their values. Taken out so that the parsed ini can
// be released before the lists grow. The values are copied one after another
// into one text: sharing them would keep the room of the whole parsed ini
// resident, since they lie scattered through it.
struct IniSection
{
    QString name;
    QStringList keys;
    QString values;
    // Where each value ends in `values`.
    QList<qsizetype> valueEnds;

    QString value(qsizetype index) const
    {
        const qsizetype start = index == 0 ? 0 : valueEnds.at(index - 1);
        return values.mid(start, valueEnds.at(index) - start);
    }
};

QList<IniSection> readSections(QSettings& settings, qsizetype* lineCount)
{
    QList<IniSection> sections;
    *lineCount = 0;
    const QStringList names = settings.childGroups();
    for (const QString& name : names) {
        settings.beginGroup(name);
        IniSection section { name, settings.allKeys(), {}, {} };
        if (name != ProductIniLine::deleteSection()) {
            section.valueEnds.reserve(section.keys.size());
            for (const QString& key : std::as_const(section.keys)) {
                section.values += settings.value(key).toString();
                section.valueEnds.append(section.values.size());
            }
        }
        settings.endGroup();
        *lineCount += section.keys.size();
        sections.append(std::move(section));
    }
    return sections;
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

bool MakeDownloadReplaceListFunc::unpackedResultReady(const QString& key, const Md5Sum& md5) const
{
    // What an earlier attempt's patch gave stays only while it is right.
    const QString unpacked = layout.unpackedPath(key);
    if (fileMatches(unpacked, md5))
        return true;
    QFile::remove(unpacked);
    return false;
}

bool MakeDownloadReplaceListFunc::run()
{
    const bool compiled = compileLists();
    if (compiled)
        specifications.noteFetchedSums();
    releaseFreeHeap();
    return compiled;
}

bool MakeDownloadReplaceListFunc::compileLists()
{
    specifications.clear();
    const QString iniPath = layout.downloadedPath(updateType + QStringLiteral(".ini"));

    Q_EMIT message(QStringLiteral("Compiling download and replace list"));
    QStringList executables;
    bool modesRecorded = false;
    qsizetype lineCount = 0;
    QList<IniSection> sections;
    {
        QSettings settings(iniPath, QSettings::IniFormat);
        sections = readSections(settings, &lineCount);
        modesRecorded = ProductIniLine::readExecutables(settings, &executables);
    }
    // The parsed ini leaves its room scattered through the heap, where the
    // allocator would keep it resident while the lists grow elsewhere.
    releaseFreeHeap();
    const double total = double(lineCount);
    if (total == 0) {
        Q_EMIT message(QStringLiteral("No files in product ini"));
        return false;
    }

    const auto invalidLine = [this](const QString& section) {
        Q_EMIT message(
            QStringLiteral("Warning: product ini contains invalid line in section %1").arg(section));
        return false;
    };

    const QString cachePath = layout.installedPath(DigestCache::fileName());
    DigestCache known(cachePath);
    known.load();
    // Only what this run confirmed is kept: entries of files no longer listed go.
    DigestCache kept(cachePath);
    bool learned = false;

    PatchCatalog patches;
    const auto log = [this](const QString& text) { Q_EMIT message(text); };
    const bool patching
        = !patchIndexPath.isEmpty() && patches.load(patchIndexPath, { updateType, version }, log);
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
    // Room for every file line at once: growing by steps would hold the
    // old and the new room together, and room never written costs nothing.
    qsizetype fileLines = 0;
    for (const IniSection& iniSection : std::as_const(sections))
        fileLines += iniSection.valueEnds.size();
    specifications.downloadList.reserve(fileLines);
    specifications.replaceList.reserve(fileLines);
    for (IniSection& iniSection : sections) {
        const QString& section = iniSection.name;
        if (section == ProductIniLine::deleteSection()) {
            for (const QString& key : std::as_const(iniSection.keys)) {
                advance();
                // A path that leaves the installation directory is never acted on.
                if (!ProductIniLine::isSafeRelativePath(key))
                    return invalidLine(section);
                if (QFile::exists(layout.installedPath(key)))
                    specifications.deleteList.append(key);
            }
            continue;
        }
        for (qsizetype i = 0; i < iniSection.keys.size(); ++i) {
            advance();
            // Each key goes once read: what the lists keep of it stays shared.
            const QString key = std::exchange(iniSection.keys[i], QString());
            ProductIniEntry entry;
            if (ProductIniLine::parseFileLine(section, key, iniSection.value(i), &entry)
                != ProductIniLine::LineError::None)
                return invalidLine(section);
            const FileDownloadSpecification& download = entry.download;
            FileReplaceSpecification& replace = entry.replace;
            const QString installed = replace.pureDestFilePath();
            if (modesRecorded) {
                const bool executable = executableSet.contains(installed);
                replace.recordedMode = executable ? 0755 : 0644;
                if (executable)
                    listedExecutables.insert(installed);
            }

            const Md5Sum installedMd5 = replace.hasUnzip() ? replace.unzipMd5 : download.md5;
            const qint64 installedSize = replace.hasUnzip() ? replace.unzipSize : download.size;
            if (patching)
                patches.noteListed(key, installedMd5, installedSize);
            InstalledContent content;
            // A file whose execute bits disagree with the record is installed anew.
            if (installedMatches(layout, installed, installedMd5, known, kept, learned, content)
                && (!modesRecorded
                    || modeMatches(layout.installedPath(installed), content.mode, replace.recordedMode)))
                continue;
            specifications.replaceList.append(replace);
            if (replace.hasUnzip() && unpackedResultReady(key, replace.unzipMd5))
                continue;
            if (fileMatches(layout.downloadedPath(key), download.md5))
                continue;
            if (patching)
                entry.download.patch = choosePatch(patches, entry, content, installedMd5, installedSize);
            if (entry.download.patch) {
                ++patchCount;
                patchBytes += entry.download.patch->size;
                wholeBytes += download.size;
            }
            specifications.downloadList.append(download);
        }
    }
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
    // Nothing learned and nothing dropped: the cache file already says it all.
    if (learned || kept.size() != known.size())
        kept.save();
    return true;
}
