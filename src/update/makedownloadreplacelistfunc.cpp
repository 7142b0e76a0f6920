#include "makedownloadreplacelistfunc.h"

#include "verify/checksigfunc.h"
#include "manifest/filespecifications.h"
#include "manifest/productiniline.h"
#include "update/digestcache.h"

#include <QFile>
#include <QSet>
#include <QSettings>

#include <sys/stat.h>

namespace {

bool fileMatches(const QString& path, const QString& md5)
{
    if (!QFile::exists(path))
        return false;
    CheckSigFunc check(path, FileCheck::listedSum(md5));
    return check.run();
}

// Whether the installed file at `relative` has the digest md5, taken from
// `known` when the file is provably unchanged since it was hashed. Digests
// that hold are kept in `kept` for the next run; `learned` is set when one
// of them was not known before.
bool installedMatches(const InstallationLayout& layout, const QString& relative, const QString& md5,
    const DigestCache& known, DigestCache& kept, bool& learned)
{
    const QString path = layout.installedPath(relative);
    if (md5.isEmpty())
        return fileMatches(path, md5);
    // Read before the stamp: a later write then moves the stamp past this moment.
    const qint64 readAt = DigestCache::fileClockNowNs();
    DigestCache::Stamp before;
    if (!DigestCache::stampOf(path, before))
        return fileMatches(path, md5);
    const QString remembered = known.digest(relative, before);
    if (!remembered.isEmpty()) {
        const bool same = md5.compare(remembered, Qt::CaseInsensitive) == 0;
        if (same)
            kept.insert(relative, before, remembered, readAt);
        return same;
    }
    if (!fileMatches(path, md5))
        return false;
    DigestCache::Stamp after;
    if (DigestCache::stampOf(path, after) && after == before) {
        kept.insert(relative, before, md5, readAt);
        learned = true;
    }
    return true;
}

// Whether the installed file's execute bits agree with the recorded mode;
// the rest of the mode is what the installation gives every file.
bool modeMatches(const QString& path, int recordedMode)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return ((info.st_mode & 0111) != 0) == ((recordedMode & 0111) != 0);
}

} // namespace

MakeDownloadReplaceListFunc::MakeDownloadReplaceListFunc(
    const InstallationLayout& layout, const QString& updateType, FileSpecifications& specifications)
    : layout(layout)
    , updateType(updateType)
    , specifications(specifications)
{ }

int MakeDownloadReplaceListFunc::getFileCount(QSettings& settings)
{
    int count = 0;
    const QStringList sections = settings.childGroups();
    for (const QString& section : sections) {
        settings.beginGroup(section);
        count += int(settings.allKeys().size());
        settings.endGroup();
    }
    return count;
}

bool MakeDownloadReplaceListFunc::run()
{
    specifications.clear();
    const QString iniPath = layout.downloadedPath(updateType + QStringLiteral(".ini"));

    Q_EMIT message(QStringLiteral("Compiling download and replace list"));
    QSettings settings(iniPath, QSettings::IniFormat);
    const double total = getFileCount(settings);
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

    QStringList executables;
    const bool modesRecorded = ProductIniLine::readExecutables(settings, &executables);
    const QSet<QString> executableSet(executables.cbegin(), executables.cend());
    QSet<QString> listed;

    double done = 0;
    double nextReport = 0;
    // Each report is an event for the GUI thread: one per thousandth.
    const auto advance = [this, &done, &nextReport, total] {
        if (++done < nextReport && done < total)
            return;
        nextReport = done + total / 1000;
        Q_EMIT progress(done / total);
    };
    const QStringList sections = settings.childGroups();
    for (const QString& section : sections) {
        settings.beginGroup(section);
        const QStringList keys = settings.allKeys();
        if (section == ProductIniLine::deleteSection()) {
            for (const QString& key : keys) {
                advance();
                // A path that leaves the installation directory is never acted on.
                if (!ProductIniLine::isSafeRelativePath(key))
                    return invalidLine(section);
                if (QFile::exists(layout.installedPath(key)))
                    specifications.deleteList.append(key);
            }
            settings.endGroup();
            continue;
        }
        for (const QString& key : keys) {
            advance();
            ProductIniEntry entry;
            if (ProductIniLine::parseFileLine(section, key, settings.value(key).toString(), &entry)
                != ProductIniLine::LineError::None)
                return invalidLine(section);
            const FileDownloadSpecification& download = entry.download;
            FileReplaceSpecification& replace = entry.replace;
            const QString installed = replace.pureDestFilePath();
            listed.insert(installed);
            if (modesRecorded)
                replace.recordedMode = executableSet.contains(installed) ? 0755 : 0644;

            const QString installedMd5 = replace.hasUnzip() ? replace.unzipMd5 : download.md5;
            // A file whose execute bits disagree with the record is installed anew.
            if (installedMatches(layout, installed, installedMd5, known, kept, learned)
                && (!modesRecorded || modeMatches(layout.installedPath(installed), replace.recordedMode)))
                continue;
            specifications.replaceList.append(replace);
            if (!fileMatches(layout.downloadedPath(key), download.md5))
                specifications.downloadList.append(download);
        }
        settings.endGroup();
    }
    for (const QString& path : std::as_const(executables)) {
        if (!listed.contains(path))
            Q_EMIT message(
                QStringLiteral("Warning: product ini marks %1 executable but does not list it; ignored")
                    .arg(path));
    }
    // Nothing learned and nothing dropped: the cache file already says it all.
    if (learned || kept.size() != known.size())
        kept.save();
    return true;
}
