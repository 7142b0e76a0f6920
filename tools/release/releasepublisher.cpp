#include "releasepublisher.h"

#include "fileops/fileunzipfunc.h"
#include "fileops/patchapplyfunc.h"
#include "chunkpublisher.h"
#include "filepacker.h"
#include "manifest/releasemarker.h"
#include "manifestmaker.h"
#include "patchmaker.h"
#include "previousrelease.h"
#include "publishstaging.h"
#include "manifest/installationlayout.h"
#include "manifest/outsidetext.h"
#include "manifest/productiniline.h"
#include "verify/releasetrust.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <memory>

#include <dirent.h>
#include <memory>

namespace {

const QString ChangelogName = QStringLiteral("changelog_client.txt");
// A warning names this many files at most.
const int MaxNamesInWarning = 10;

// Qt's directory listing leaves out, without a word, a name that is not
// UTF-8: the release would lack that file. The first such name in `dir`,
// decoded with replacement characters; empty when there is none.
QString nameNotUtf8(const QString& dir)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> handle(
        ::opendir(QFile::encodeName(dir).constData()), ::closedir);
    if (!handle)
        return QString();
    while (const dirent* entry = ::readdir(handle.get())) {
        const QByteArray name(entry->d_name);
        if (QString::fromUtf8(name).toUtf8() != name)
            return QString::fromUtf8(name);
    }
    return QString();
}

// "a/b/c" -> "a", "a/b"
QStringList parentPaths(const QString& path)
{
    QStringList parents;
    int slash = path.indexOf(QLatin1Char('/'));
    while (slash > 0) {
        parents << path.left(slash);
        slash = path.indexOf(QLatin1Char('/'), slash + 1);
    }
    return parents;
}

QByteArray readSmallFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return QByteArray();
    }
    return file.readAll();
}

bool writeNewFile(const QString& path, const QByteArray& data, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(data) != data.size()
        || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

ReleasePublisher::ReleasePublisher(const Options& options)
    : options(options)
{ }

void ReleasePublisher::setProgressHandler(ProgressHandler handler)
{
    progressHandler = std::move(handler);
}

QString ReleasePublisher::versionDirectory() const
{
    return QDir(options.outputDir).filePath(QString::number(options.version));
}

QString ReleasePublisher::productIniName() const
{
    return options.updateType + QStringLiteral(".ini");
}

QString ReleasePublisher::patchIndexName() const
{
    return PatchIndex::fileName(options.updateType);
}

QString ReleasePublisher::manifestName() const
{
    return ReleaseManifest::fileName(options.updateType);
}

bool ReleasePublisher::isValidSectionName(const QString& name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-]+$"));
    // "General" holds the keys outside any section in QSettings' INI format.
    return allowed.match(name).hasMatch() && name != ProductIniLine::deleteSection()
        && name.compare(QLatin1String("General"), Qt::CaseInsensitive) != 0;
}

bool ReleasePublisher::isValidUpdateType(const QString& type)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9_.-]*$"));
    return allowed.match(type).hasMatch();
}

bool ReleasePublisher::matches(const QString& pattern, const QString& relativePath)
{
    const QString subject = pattern.startsWith(QLatin1String("./")) ? QStringLiteral("./") + relativePath
        : pattern.contains(QLatin1Char('/'))                        ? relativePath
                                             : relativePath.section(QLatin1Char('/'), -1);
    const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern));
    return expression.match(subject).hasMatch();
}

bool ReleasePublisher::fail(const QString& text)
{
    error = text;
    return false;
}

bool ReleasePublisher::publish()
{
    error.clear();
    warningList.clear();
    noticeList.clear();
    verdictList.clear();
    files.clear();
    publishedFiles.clear();
    summary = PatchSummary();
    ini = ProductIniFile();
    ini.binding = ProductIniLine::Binding { options.updateType, options.version };
    ini.modesRecorded = true;
    if (!checkOptions() || !scanSource() || !assignKeys() || !computeDeletes())
        return false;

    if (!QDir().mkpath(options.outputDir))
        return fail(QStringLiteral("cannot create output directory %1").arg(options.outputDir));
    const QString target = versionDirectory();
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return fail(
            QStringLiteral("%1 exists already; a published version is never overwritten").arg(target));

    noticeList << PublishStaging::removeAbandoned(options.outputDir);
    PublishStaging staging(options.outputDir, options.version);
    if (!staging.create(&error))
        return false;
    if (!publishFiles(staging.path()) || !writeProductIni(staging.path()))
        return false;
    if (!options.patchFrom.isEmpty() && !makePatches(staging.path()))
        return false;
    if (!options.changelog.isEmpty()) {
        FileDigest ignored;
        if (!FilePacker::copy(
                options.changelog, QDir(staging.path()).filePath(ChangelogName), &ignored, &error))
            return false;
    }
    // Last, as it binds everything above.
    if (withManifest() && !writeManifest(staging.path()))
        return false;
    if (options.chunks && !writeChunks(staging.path()))
        return false;
    if (!withManifest() && ReleaseTrust::builtIn().requiresManifest(options.version))
        warningList << QStringLiteral(
            "published without a release manifest: updaters built with release keys "
            "(VOXMEADOW_RELEASE_KEYS) will refuse this release");
    if (!judgeTrust(staging.path()))
        return false;
    // The staging directory is private to its owner; the release is for the web server to read.
    QFile::setPermissions(staging.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    if (!staging.moveTo(target))
        return fail(QStringLiteral("cannot move the finished release to %1").arg(target));
    return true;
}

bool ReleasePublisher::excluded(const QString& relativePath) const
{
    const QStringList paths = parentPaths(relativePath) << relativePath;
    for (const QString& pattern : std::as_const(options.excludePatterns)) {
        for (const QString& path : paths) {
            if (matches(pattern, path))
                return true;
        }
    }
    return false;
}

bool ReleasePublisher::judgeTrust(const QString& staging)
{
    const QString document = QStringLiteral("this release");
    std::unique_ptr<ReleaseManifest::Reader> manifest;
    if (withManifest()) {
        manifest = std::make_unique<ReleaseManifest::Reader>(QDir(staging).filePath(manifestName()));
        if (!manifest->open() || !manifest->readToEnd())
            return fail(manifest->errorString());
    }
    QStringList refusing;
    // The built-in set without a manifest has its warning above.
    const QList<TrustedKeySet> sets
        = withManifest() ? TrustedKeySet::reported(options.alsoTrusted) : options.alsoTrusted;
    for (const TrustedKeySet& set : sets) {
        const TrustedKeySet::Verdict verdict = manifest ? set.judge(ReleaseManifest::signingContext(),
                                                   manifest->bodySha256(), manifest->signatures(), document)
                                                        : set.judgeUnsigned(document);
        verdictList << verdict;
        if (!verdict.met) {
            warningList << verdict.line;
            refusing << set.name;
        }
    }
    if (options.requireTrusted && !refusing.isEmpty())
        return fail(QStringLiteral("not published: updaters with the trusted set %1 would refuse it "
                                   "(--require-trusted)")
                        .arg(refusing.join(QStringLiteral(", "))));
    return true;
}

bool ReleasePublisher::checkOptions()
{
    const QFileInfo source(options.sourceDir);
    if (!source.isDir())
        return fail(QStringLiteral("source %1 is not a directory").arg(options.sourceDir));
    if (options.outputDir.isEmpty())
        return fail(QStringLiteral("no output directory given"));
    if (options.version <= 0)
        return fail(QStringLiteral("the version must be a whole number greater than 0"));
    if (!isValidUpdateType(options.updateType))
        return fail(QStringLiteral("invalid update type \"%1\" (letters, digits, \"_\", \"-\" and \".\")")
                        .arg(options.updateType));
    if (!isValidSectionName(options.defaultSection))
        return fail(QStringLiteral("invalid section name \"%1\"").arg(options.defaultSection));
    for (const SectionRule& rule : std::as_const(options.sectionRules)) {
        if (!isValidSectionName(rule.section))
            return fail(QStringLiteral("invalid section name \"%1\"").arg(rule.section));
        if (rule.pattern.isEmpty())
            return fail(QStringLiteral("empty pattern for section \"%1\"").arg(rule.section));
    }
    if (!options.changelog.isEmpty() && !QFileInfo(options.changelog).isFile())
        return fail(QStringLiteral("changelog %1 is not a file").arg(options.changelog));

    // The walk over the source must never meet what is being written.
    const QString sourcePath = source.canonicalFilePath() + QLatin1Char('/');
    QString outputPath = QFileInfo(options.outputDir).absoluteFilePath();
    if (QFileInfo::exists(outputPath))
        outputPath = QFileInfo(outputPath).canonicalFilePath();
    if ((outputPath + QLatin1Char('/')).startsWith(sourcePath))
        return fail(QStringLiteral("the output directory must not lie inside the source directory"));

    if (options.chunks && options.manifestKeyPaths.isEmpty())
        return fail(QStringLiteral("chunks are bound through the release manifest: give manifest keys"));

    // Load the keys before any file is hashed, so a wrong key fails at once.
    if (!key.loadPrivate(options.privateKeyPath, &error) || !loadManifestKeys())
        return false;
    return readPrevious() && readEarlierReleases();
}

bool ReleasePublisher::readPrevious()
{
    previous = ProductIniFile();
    if (options.previousIni.isEmpty())
        return true;
    ReleaseKey givenKey;
    if (!options.previousKeyPath.isEmpty() && !givenKey.loadPublic(options.previousKeyPath, &error))
        return false;
    PreviousRelease release;
    if (!release.read(options.previousIni, options.updateType,
            options.previousKeyPath.isEmpty() ? key : givenKey, &error))
        return false;
    previous = release.productIni();
    warningList << release.warnings();
    return true;
}

bool ReleasePublisher::loadManifestKeys()
{
    manifestKeys.clear();
    for (int i = 0; i < options.manifestKeyPaths.size(); ++i) {
        Ed25519Key manifestKey = Ed25519Key::readPrivatePem(options.manifestKeyPaths.at(i), &error);
        if (!manifestKey.isValid())
            return false;
        for (std::size_t j = 0; j < manifestKeys.size(); ++j) {
            // One key signing twice would count once and only look like two signers.
            if (manifestKeys.at(j).publicKey() == manifestKey.publicKey())
                return fail(QStringLiteral("%1 and %2 hold the same manifest key")
                                .arg(options.manifestKeyPaths.at(int(j)), options.manifestKeyPaths.at(i)));
        }
        manifestKeys.push_back(std::move(manifestKey));
    }
    return true;
}

bool ReleasePublisher::scanSource()
{
    const QDir base(QFileInfo(options.sourceDir).absoluteFilePath());
    QDirIterator it(base.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    const auto badName = [this](const QString& relative) {
        return fail(QStringLiteral("%1: file names with backslashes, control characters, bidirectional "
                                   "overrides or bytes that are not UTF-8 cannot be published")
                        .arg(OutsideText::escaped(relative, OutsideText::EscapeBreaks)));
    };
    const QString notUtf8 = nameNotUtf8(base.path());
    if (!notUtf8.isEmpty())
        return badName(notUtf8);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = base.relativeFilePath(info.filePath());
        if (excluded(relative))
            continue;
        if (info.isSymLink())
            return fail(QStringLiteral("%1 is a symbolic link; the updater can only install regular files")
                            .arg(relative));
        if (info.isDir()) {
            const QString inside = nameNotUtf8(info.filePath());
            if (!inside.isEmpty())
                return badName(relative + QLatin1Char('/') + inside);
            continue;
        }
        if (!info.isFile())
            return fail(QStringLiteral("%1 is not a regular file").arg(relative));
        // A control character or a bidirectional override would steer the
        // terminals and logs that show the name.
        if (!ProductIniLine::isSafeRelativePath(relative) || !OutsideText::isPlain(relative))
            return badName(relative);
        // One installation's settings, session record, channel serials or
        // log would replace every player's.
        if (InstallationLayout::isUpdaterState(relative))
            return fail(
                QStringLiteral("%1 is what an updater wrote for the installation it serves (settings, "
                               "digest cache, log or a file half written); every player would get "
                               "it. Remove it from the source or leave it out with --exclude '%2'")
                    .arg(relative,
                        relative.contains(QLatin1Char('/')) ? relative : QStringLiteral("./") + relative));
        if (ProductIniLine::isReservedPath(relative))
            return fail(QStringLiteral("%1: the directory %2 is reserved for the release record")
                            .arg(relative, ProductIniLine::reservedDirectory()));
        if (relative == ReleaseMarker::fileName() || relative == ReleaseMarker::changelogFileName())
            return fail(QStringLiteral("%1: the release tool writes this file itself").arg(relative));
        SourceFile file;
        file.relativePath = relative;
        file.input = info.filePath();
        file.size = info.size();
        file.executable = info.permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
        // The record makes the source's modes the installed ones: a tree
        // that lost them would install programs that cannot run.
        if (!file.executable && InstallationLayout::isExecutableName(relative))
            warningList << QStringLiteral("%1 is not executable in the source and will be installed without "
                                          "execute permission")
                               .arg(relative);
        files << file;
    }
    if (files.isEmpty())
        return fail(QStringLiteral("source %1 holds no files").arg(options.sourceDir));
    if (!addReleaseMarker())
        return false;
    std::sort(files.begin(), files.end(),
        [](const SourceFile& a, const SourceFile& b) { return a.relativePath < b.relativePath; });
    return true;
}

bool ReleasePublisher::addReleaseMarker()
{
    markerDirectory = std::make_unique<QTemporaryDir>();
    SourceFile marker;
    marker.relativePath = ReleaseMarker::fileName();
    marker.input = markerDirectory->filePath(marker.relativePath);
    const QByteArray text = ReleaseMarker::text(ini.binding);
    marker.size = text.size();
    if (!markerDirectory->isValid() || !writeNewFile(marker.input, text, &error))
        return fail(QStringLiteral("cannot write the release marker: %1")
                        .arg(error.isEmpty() ? markerDirectory->errorString() : error));
    files << marker;
    // The changelog as a file of the release too, so that the manifest vouches for it.
    if (!options.changelog.isEmpty()) {
        SourceFile changelog;
        changelog.relativePath = ReleaseMarker::changelogFileName();
        changelog.input = options.changelog;
        changelog.size = QFileInfo(options.changelog).size();
        files << changelog;
    }
    return true;
}

bool ReleasePublisher::assignKeys()
{
    // Every downloaded copy lands at its key below one temporary directory,
    // whatever its section, so keys must be unique across sections.
    QHash<QString, QString> owners;
    for (SourceFile& file : files) {
        file.section = options.defaultSection;
        for (const SectionRule& rule : std::as_const(options.sectionRules)) {
            if (matches(rule.pattern, file.relativePath)) {
                file.section = rule.section;
                break;
            }
        }
        for (const QString& pattern : std::as_const(options.packPatterns)) {
            if (matches(pattern, file.relativePath)) {
                file.packed = true;
                break;
            }
        }
        file.key = file.packed ? file.relativePath + QStringLiteral(".gz") : file.relativePath;
        const auto owner = owners.constFind(file.key);
        if (owner != owners.constEnd())
            return fail(QStringLiteral("%1 and %2 would both be published as %3")
                            .arg(owner.value(), file.relativePath, file.key));
        owners.insert(file.key, file.relativePath);
    }
    for (const SourceFile& file : std::as_const(files)) {
        for (const QString& parent : parentPaths(file.key)) {
            if (owners.contains(parent))
                return fail(QStringLiteral("%1 would be published as %2, which %3 needs as a directory")
                                .arg(owners.value(parent), parent, file.relativePath));
        }
    }
    return true;
}

bool ReleasePublisher::computeDeletes()
{
    QSet<QString> installed;
    for (const SourceFile& file : std::as_const(files))
        installed.insert(file.relativePath);

    QStringList earlier = previous.installedPaths() + previous.deleteKeys;
    earlier.removeDuplicates();
    QStringList deletes;
    for (const QString& path : std::as_const(earlier)) {
        if (!installed.contains(path))
            deletes << path;
    }
    deletes.sort();
    // An earlier release that shipped a player's state cannot take it back:
    // each installation keeps its own.
    for (const QString& path : InstallationLayout::stateFileNames()) {
        if (deletes.removeAll(path) > 0)
            warningList << QStringLiteral("the previous release shipped %1; this one does not, and leaves "
                                          "each installation's own in place")
                               .arg(path);
    }
    const QStringList updaterFiles = InstallationLayout::updaterFileNames();
    for (const QString& path : std::as_const(deletes)) {
        if (updaterFiles.contains(path))
            return fail(
                QStringLiteral("%1 would be deleted: the previous release installed or deleted it and "
                               "this one does not ship it, but no release may delete the updater's "
                               "own files (%2)")
                    .arg(path, updaterFiles.join(QStringLiteral(", "))));
    }
    ini.deleteKeys = deletes;
    // Deletions only grow when files are dropped: worth a look before it is signed.
    if (deletes.size() > previous.deleteKeys.size()) {
        const QSet<QString> before(previous.deleteKeys.cbegin(), previous.deleteKeys.cend());
        QStringList added;
        for (const QString& path : std::as_const(deletes)) {
            if (!before.contains(path))
                added << path;
        }
        warningList << QStringLiteral("files to delete: %1, the previous release had %2; new: %3")
                           .arg(deletes.size())
                           .arg(previous.deleteKeys.size())
                           .arg(added.mid(0, MaxNamesInWarning).join(QStringLiteral(", "))
                               + (added.size() > MaxNamesInWarning ? QStringLiteral(", ...") : QString()));
    }

    // The updater installs before it deletes and cannot turn a file into a
    // directory or back; say so rather than publish an update that rolls back.
    const QStringList previouslyInstalled = previous.installedPaths();
    const QSet<QString> earlierFiles(previouslyInstalled.cbegin(), previouslyInstalled.cend());
    for (const SourceFile& file : std::as_const(files)) {
        for (const QString& parent : parentPaths(file.relativePath)) {
            if (earlierFiles.contains(parent))
                warningList << QStringLiteral("%1 was a file in the previous version and is a directory now; "
                                              "updating an installation of it will fail")
                                   .arg(parent);
        }
    }
    for (const QString& path : previouslyInstalled) {
        for (const QString& parent : parentPaths(path)) {
            if (installed.contains(parent))
                warningList << QStringLiteral("%1 was a directory in the previous version and is a file now; "
                                              "updating an installation of it will fail")
                                   .arg(parent);
        }
    }
    warningList.removeDuplicates();
    return true;
}

bool ReleasePublisher::publishFiles(const QString& staging)
{
    Progress progress;
    progress.filesTotal = int(files.size());
    for (const SourceFile& file : std::as_const(files))
        progress.bytesTotal += file.size;
    if (progressHandler)
        progressHandler(progress);

    const QDir root(staging);
    for (SourceFile& file : files) {
        const QString target = root.filePath(file.section + QLatin1Char('/') + file.key);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            return fail(QStringLiteral("cannot create directory %1").arg(QFileInfo(target).absolutePath()));
        const QString& input = file.input;
        ProductIniEntry entry;
        entry.download.section = entry.replace.section = file.section;
        entry.download.fileName = entry.replace.fileName = file.key;
        FileDigest published;
        FileDigest unpacked;
        if (file.packed) {
            if (!FilePacker::pack(input, target, &unpacked, &published, &error))
                return false;
            entry.replace.unzipMd5 = ContentSum::fromText(unpacked.md5);
            entry.replace.unzipSize = unpacked.size;
            entry.replace.unzipFileName = file.relativePath;
        } else if (!FilePacker::copy(input, target, &published, &error)) {
            return false;
        }
        entry.download.md5 = ContentSum::fromText(published.md5);
        entry.download.size = published.size;
        file.sha256 = file.packed ? unpacked.sha256 : published.sha256;
        if (withManifest()) {
            ReleaseManifest::File& sums = publishedFiles[file.section + QLatin1Char('/') + file.key];
            sums.sha256 = published.sha256;
            sums.size = published.size;
            if (file.packed) {
                sums.unpackedSha256 = unpacked.sha256;
                sums.unpackedSize = unpacked.size;
            }
        }
        ini.entries << entry;
        if (file.executable)
            ini.executables << entry.installedPath();

        ++progress.filesDone;
        progress.bytesDone += file.size;
        if (progressHandler)
            progressHandler(progress);
    }
    return true;
}

bool ReleasePublisher::writeProductIni(const QString& staging)
{
    const QString path = QDir(staging).filePath(productIniName());
    if (!ini.write(path, &error))
        return false;
    ProductIniFile written;
    if (!written.read(path, &error))
        return false;
    if (!(written == ini))
        return fail(QStringLiteral("the product ini does not read back as written; "
                                   "some file names cannot be represented in it"));

    QString readError;
    const QByteArray content = readSmallFile(path, &readError);
    if (!readError.isEmpty())
        return fail(readError);
    QByteArray signature;
    if (!writeSigned(path, content, &signature))
        return false;

    ReleaseKey builtIn;
    QString builtInError;
    if (!builtIn.loadBuiltIn(&builtInError) || !builtIn.verify(content, signature))
        warningList << QStringLiteral("%1 is not the key built into this updater (VOXMEADOW_PUBLIC_KEY); "
                                      "updaters built with that key will refuse this release")
                           .arg(options.privateKeyPath);
    return true;
}

bool ReleasePublisher::writeSigned(const QString& path, const QByteArray& content, QByteArray* signature)
{
    if (!key.sign(content, signature, &error))
        return false;
    if (!key.verify(content, *signature))
        return fail(QStringLiteral("the signature made with %1 does not verify").arg(options.privateKeyPath));
    return writeNewFile(path + QStringLiteral(".sig"), *signature, &error);
}

bool ReleasePublisher::readEarlierReleases()
{
    earlierReleases.clear();
    for (const QString& directory : std::as_const(options.patchFrom)) {
        const QDir root(directory);
        ProductIniFile earlier;
        if (!earlier.read(root.filePath(productIniName()), &error))
            return false;
        QHash<QString, EarlierFile> contents;
        for (const ProductIniEntry& entry : std::as_const(earlier.entries)) {
            const bool packed = entry.replace.hasUnzip();
            contents.insert(entry.installedPath(),
                EarlierFile {
                    root.filePath(entry.download.section + QLatin1Char('/') + entry.download.fileName),
                    packed, (packed ? entry.replace.unzipMd5 : entry.download.md5).toString(),
                    packed ? entry.replace.unzipSize : entry.download.size });
        }
        earlierReleases << contents;
    }
    return true;
}

bool ReleasePublisher::makePatches(const QString& staging)
{
    PatchIndex index;
    index.binding = ini.binding;
    // The manifest lists SHA-256 digests; the patches it binds get theirs too.
    index.algorithm = withManifest() ? ContentSum::Algorithm::Sha256 : ContentSum::Algorithm::Md5;
    const QDir root(staging);
    for (int i = 0; i < files.size(); ++i) {
        // Smaller than any patch's request.
        if (files.at(i).relativePath == ReleaseMarker::fileName())
            continue;
        const ProductIniEntry& entry = ini.entries.at(i);
        const ChangedFile file { files.at(i).input, files.at(i).key,
            (entry.replace.hasUnzip() ? entry.replace.unzipMd5 : entry.download.md5).toString(),
            files.at(i).sha256, files.at(i).size };
        QSet<QString> bases;
        for (const QHash<QString, EarlierFile>& release : std::as_const(earlierReleases)) {
            const auto earlier = release.constFind(entry.installedPath());
            if (earlier == release.constEnd() || earlier->md5 == file.md5 || bases.contains(earlier->md5))
                continue;
            if (bases.isEmpty()) {
                ++summary.changedFiles;
                summary.wholeBytes += entry.download.size;
            }
            // A damaged earlier copy leaves its content to another release.
            bool settled = false;
            if (!makePatch(staging, file, *earlier, entry.download.size, &index, &settled))
                return false;
            if (settled)
                bases.insert(earlier->md5);
        }
    }
    root.rmdir(PatchIndex::directory() + QStringLiteral("/.work"));
    root.rmdir(PatchIndex::directory());
    std::sort(index.entries.begin(), index.entries.end(),
        [](const PatchIndex::Entry& a, const PatchIndex::Entry& b) {
            return a.key != b.key ? a.key < b.key : a.baseMd5 < b.baseMd5;
        });
    const QString path = root.filePath(patchIndexName());
    const QByteArray content = index.serialize();
    QByteArray signature;
    return writeNewFile(path, content, &error) && writeSigned(path, content, &signature);
}

bool ReleasePublisher::makePatch(const QString& staging, const ChangedFile& file, const EarlierFile& earlier,
    qint64 wholeCost, PatchIndex* index, bool* settled)
{
    *settled = !PatchApplyFunc::canApply(earlier.size, file.size);
    if (*settled)
        return true;
    const QDir root(staging);
    const QString work = root.filePath(PatchIndex::directory() + QStringLiteral("/.work"));
    if (!QDir().mkpath(work))
        return fail(QStringLiteral("cannot create directory %1").arg(work));
    // Patches are made and tried in the work directory, so that only the
    // ones worth publishing ever reach their place.
    const QString unpacked = QDir(work).filePath(QStringLiteral("base"));
    const QString made = QDir(work).filePath(QStringLiteral("patch"));
    const QString trial = QDir(work).filePath(QStringLiteral("result"));
    const auto cleanUp = qScopeGuard([&] {
        for (const QString& path : { unpacked, made, trial })
            QFile::remove(path);
    });
    const QString base = earlier.packed ? unpacked : earlier.path;
    FileDigest found;
    if ((earlier.packed && !FileUnzipFunc::unzipFile(unpacked, earlier.path))
        || !FilePacker::digest(base, &found, &error) || found.md5 != earlier.md5
        || found.size != earlier.size) {
        warningList << QStringLiteral("%1 is missing or not the content its release lists; no patch from it")
                           .arg(earlier.path);
        error.clear();
        return true;
    }
    *settled = true;

    FileDigest patch;
    if (!PatchMaker::make(base, file.path, made, &patch, &error))
        return false;
    if (double(patch.size) >= PatchShare * double(wholeCost)) {
        ++summary.dropped;
        return true;
    }

    // Applied exactly as an updater applies it, before anyone can fetch it.
    FilePatchSpecification applied;
    applied.path = PatchIndex::directory() + QLatin1Char('/') + earlier.md5 + QLatin1Char('/') + file.key
        + QStringLiteral(".patch");
    applied.md5 = ContentSum::fromText(patch.md5);
    applied.size = patch.size;
    applied.basePath = base;
    applied.resultMd5 = ContentSum::fromText(file.md5);
    applied.resultSize = file.size;
    FileStamp::of(base, applied.baseStamp);
    PatchApplyFunc apply(applied, base, made, trial);
    QString reason;
    QObject::connect(&apply, &ASyncFunc::message, [&reason](const QString& text) { reason = text; });
    if (!apply.run())
        return fail(QStringLiteral("the patch made for %1 does not apply: %2").arg(file.path, reason));

    const QString target = root.filePath(applied.path);
    if (!QDir().mkpath(QFileInfo(target).path()) || !QDir().rename(made, target))
        return fail(QStringLiteral("cannot move the patch to %1").arg(target));
    if (index->algorithm == ContentSum::Algorithm::Sha256)
        index->entries << PatchIndex::Entry { file.key, found.sha256.toString(), earlier.size, applied.path,
            patch.sha256.toString(), patch.size, file.sha256.toString(), file.size };
    else
        index->entries << PatchIndex::Entry { file.key, earlier.md5, earlier.size, applied.path, patch.md5,
            patch.size, file.md5, file.size };
    ++summary.patches;
    summary.patchBytes += patch.size;
    return true;
}

bool ReleasePublisher::writeManifest(const QString& staging)
{
    const auto sums = [this](const ProductIniEntry& entry, ReleaseManifest::File* file, QString* why) {
        const auto published = publishedFiles.constFind(file->section + QLatin1Char('/') + file->key);
        if (published == publishedFiles.constEnd()) {
            *why = QStringLiteral("the product ini lists [%1] %2, which was not published")
                       .arg(entry.download.section, entry.download.fileName);
            return false;
        }
        file->sha256 = published->sha256;
        file->size = published->size;
        file->unpackedSha256 = published->unpackedSha256;
        file->unpackedSize = published->unpackedSize;
        return true;
    };
    if (!ManifestMaker::write(staging, ini.binding, manifestKeys, sums, &error))
        return false;

    // Read back as an updater reads it: every published file listed once.
    ReleaseManifest::Reader written(QDir(staging).filePath(manifestName()));
    ReleaseManifest::File file;
    qsizetype listed = 0;
    if (written.open()) {
        while (written.nextFile(&file))
            ++listed;
    }
    if (written.failed() || listed != ini.entries.size())
        return fail(
            QStringLiteral("the release manifest does not read back as written: %1")
                .arg(written.failed()
                        ? written.errorString()
                        : QStringLiteral("%1 of %2 files listed").arg(listed).arg(ini.entries.size())));
    return true;
}

bool ReleasePublisher::writeChunks(const QString& staging)
{
    chunkTotals = ChunkStore::Summary();
    QList<ChunkPublisher::File> sources;
    for (const SourceFile& file : std::as_const(files))
        sources << ChunkPublisher::File { file.section, file.key, file.input, file.sha256, file.size };
    ChunkPublisher chunks(options.outputDir, ini.binding);
    const bool written
        = chunks.writeIndex(staging, sources, &error) && chunks.writeBinding(staging, manifestKeys, &error);
    chunkTotals = chunks.summary();
    return written;
}
