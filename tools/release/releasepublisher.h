#ifndef RELEASEPUBLISHER_H
#define RELEASEPUBLISHER_H

#include "chunkstore.h"
#include "productinifile.h"
#include "manifest/patchindex.h"
#include "manifest/releasemanifest.h"
#include "releasekey.h"
#include "trustedkeyset.h"
#include "verify/ed25519key.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

// Publishes one version of an installation tree into a mirror root:
//   <output>/<version>/<section>/<key>       every file, plain or gzip-packed
//   <output>/<version>/<type>.ini            the product ini
//   <output>/<version>/<type>.ini.sig        its signature
//   <output>/<version>/changelog_client.txt  when a changelog is given
//   <output>/<version>/patches/<earlier md5>/<key>.patch
//   <output>/<version>/<type>.patches(.sig)  the signed patch index
//   <output>/<version>/<type>.manifest       with manifest keys: the release
//                                            manifest they sign
//   <output>/<version>/<type>.chunks(.binding)  with chunks: the chunk index
//                                            and its signed binding
//   <output>/chunks/                         the chunk store all releases share
// With manifest keys the patch index lists SHA-256 digests (its version 2);
// the patches' directories keep the earlier content's MD5 sum as their name
// either way.
// Everything is built in a hidden staging directory inside the output and
// renamed into place at the end, so a mirror never serves half a release.
// Nothing is written anywhere but below the output directory.
class ReleasePublisher
{
public:
    struct SectionRule
    {
        QString pattern;
        QString section;
    };

    struct Options
    {
        QString sourceDir;
        QString outputDir;
        int version = 0;
        QString updateType;
        QString privateKeyPath;
        QString defaultSection = QStringLiteral("files");
        // First matching rule wins; files matching none go to defaultSection.
        QList<SectionRule> sectionRules;
        // Files matching any of these are published gzip-packed.
        QStringList packPatterns;
        // Files matching any of these, or below a directory that does, are
        // left out.
        QStringList excludePatterns;
        // Product ini of the version this one replaces (RELEASE_DIR/TYPE.ini,
        // checked by PreviousRelease first): what it installed (and still
        // deleted) but this version does not install goes into "delete".
        QString previousIni;
        // Public key its signature verifies with; empty: the signing key's.
        QString previousKeyPath;
        QString changelog;
        // Earlier published release directories: a changed file gets a
        // patch against each distinct earlier content they hold.
        QStringList patchFrom;
        // Ed25519 private keys (PEM) that each sign the release manifest;
        // none: no manifest.
        QStringList manifestKeyPaths;
        // Key sets of older updaters that must take the release too; its
        // manifest is judged against each and against the built-in set.
        QList<TrustedKeySet> alsoTrusted;
        // A release that some set would refuse is not published.
        bool requireTrusted = false;

        // Cut every file into the mirror root's chunk store and publish the
        // release's chunk index with its signed binding (needs manifest keys).
        bool chunks = false;
    };

    struct PatchSummary
    {
        int patches = 0;
        qint64 patchBytes = 0;
        // Files changed since an earlier release, and what they cost whole.
        int changedFiles = 0;
        qint64 wholeBytes = 0;
        // Patches not below PatchShare of the whole file's cost.
        int dropped = 0;
    };
    // A patch is published only below this share of what the file costs whole.
    static constexpr double PatchShare = 0.8;

    struct Progress
    {
        int filesDone = 0;
        int filesTotal = 0;
        qint64 bytesDone = 0;
        qint64 bytesTotal = 0;
    };
    using ProgressHandler = std::function<void(const Progress&)>;

    explicit ReleasePublisher(const Options& options);

    void setProgressHandler(ProgressHandler handler);
    bool publish();

    QString errorString() const { return error; }
    QStringList warnings() const { return warningList; }
    // What the publish did beside the release (staging directories of killed
    // publishes removed).
    QStringList notices() const { return noticeList; }
    // One verdict for each set of trusted keys; the ones not met are
    // warnings too.
    const QList<TrustedKeySet::Verdict>& verdicts() const { return verdictList; }
    const ProductIniFile& productIni() const { return ini; }
    const PatchSummary& patchSummary() const { return summary; }
    const ChunkStore::Summary& chunkSummary() const { return chunkTotals; }
    QString versionDirectory() const;
    QString productIniName() const;
    QString patchIndexName() const;
    QString manifestName() const;

    // Section names become directories on the mirrors.
    static bool isValidSectionName(const QString& name);
    static bool isValidUpdateType(const QString& type);
    // A pattern without "/" is matched against the file name, one with "/"
    // against the whole relative path, one that starts with "./" against the
    // path from the top ("./update.ini": only the top's); "*" and "?" stay
    // within one component.
    static bool matches(const QString& pattern, const QString& relativePath);

private:
    struct SourceFile
    {
        QString relativePath;
        // Where its content is read from.
        QString input;
        qint64 size = 0;
        QString section;
        bool packed = false;
        bool executable = false;
        QString key;
        // The installed content's digest (unpacked, for a packed file).
        ContentSum sha256;
    };

    struct EarlierFile
    {
        QString path;
        bool packed = false;
        QString md5;
        qint64 size = 0;
    };

    struct ChangedFile
    {
        QString path;
        QString key;
        QString md5;
        ContentSum sha256;
        qint64 size = 0;
    };

    bool fail(const QString& text);
    bool checkOptions();
    bool scanSource();
    // The release marker (ReleaseMarker), written into markerDirectory, and
    // the changelog as a file of the release.
    bool addReleaseMarker();
    bool assignKeys();
    bool readPrevious();
    bool computeDeletes();
    bool publishFiles(const QString& staging);
    bool writeProductIni(const QString& staging);
    bool readEarlierReleases();
    bool makePatches(const QString& staging);
    bool makePatch(const QString& staging, const ChangedFile& file, const EarlierFile& earlier,
        qint64 wholeCost, PatchIndex* index, bool* settled);
    bool writeSigned(const QString& path, const QByteArray& content, QByteArray* signature);
    bool loadManifestKeys();
    bool writeManifest(const QString& staging);
    bool writeChunks(const QString& staging);
    bool withManifest() const { return !options.manifestKeyPaths.isEmpty(); }
    bool excluded(const QString& relativePath) const;
    bool judgeTrust(const QString& staging);

    Options options;
    ProgressHandler progressHandler;
    QList<SourceFile> files;
    ProductIniFile ini;
    ProductIniFile previous;
    // Per earlier release: installed path -> the content it installed there.
    QList<QHash<QString, EarlierFile>> earlierReleases;
    PatchSummary summary;
    ReleaseKey key;
    std::vector<Ed25519Key> manifestKeys;
    std::unique_ptr<QTemporaryDir> markerDirectory;
    // "<section>/<key>" -> the sums of the file as published, for the manifest.
    QHash<QString, ReleaseManifest::File> publishedFiles;
    ChunkStore::Summary chunkTotals;
    QString error;
    QStringList warningList;
    QStringList noticeList;
    QList<TrustedKeySet::Verdict> verdictList;
};

#endif
