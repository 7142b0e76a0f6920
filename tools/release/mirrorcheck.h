#ifndef MIRRORCHECK_H
#define MIRRORCHECK_H

#include "manifest/chunkbinding.h"
#include "manifest/contentsum.h"
#include "manifest/patchindex.h"
#include "verify/releasetrust.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class IniFileLines;
class MirrorProbe;
class QTimer;
class ReleaseKey;
class TransferEngine;

// Whether a mirror serves a published release the way the updater needs it:
// the product ini with a signature that verifies, the release manifest
// where the release keys ask for one (naming the release and binding the
// ini's bytes), the patch index and its signature where there is one, and
// every file the ini lists and every patch the index lists at its listed
// size; with `deep`, with its listed digest too; where the release keys ask
// for one, the mirror root's channel record, signed and current; and where
// the release has a chunk index, its binding to the manifest, the index
// itself and that every pack it names is served with at least the bytes its
// chunks need. Each thing found wrong is one problem() line. Every request
// but a deep one's has the deadline the updater gives a document of its
// bound.
//
// The files are asked for a few at a time, from the ini and the manifest
// read side by side from temporary copies, so that memory does not grow
// with the release.
class MirrorCheck : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // As mirrors.ini gives it: the release lies below URL/VERSION.
        QString mirrorUrl;
        int version = 0;
        QString updateType;
        bool deep = false;
    };

    // Transfers in flight at once.
    static constexpr int Streams = 8;

    // `iniKey` verifies the product ini and patch index; it must outlive the check.
    MirrorCheck(TransferEngine* transfers, const Options& options, const ReleaseKey& iniKey,
        QObject* parent = nullptr);
    ~MirrorCheck() override;

    // The release manifest's keys and threshold; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }

    void start();
    bool isFinished() const { return done; }
    int filesChecked() const { return files; }
    int patchesChecked() const { return patches; }
    int packsChecked() const { return packs; }
    int problemCount() const { return problems; }

public Q_SLOTS:
    // Once a second while the check runs: gives up requests that stall.
    void tick();

Q_SIGNALS:
    void problem(const QString& line);
    void finished();

private:
    // One served file to check: where it lies below the release, its
    // listed size, and with `deep` its listed digest.
    struct Item
    {
        QString path;
        qint64 size = 0;
        ContentSum digest;
        QString digestSource;
        bool patch = false;
    };

    void report(const QString& line);
    // The path of a release file as a problem line names it.
    QString shown(const QString& path) const;
    // Whether the probe found the file served whole, at the listed size
    // unless that is negative; a problem line when not.
    bool judgeServed(const QString& path, const MirrorProbe* probe, qint64 listedSize);
    // `timed`: with the deadline of its bound.
    MirrorProbe* probe(const QString& path, bool timed = true);
    // The record's two formats, the first and then the second.
    void fetchChannelRecord(int format = 1);
    void checkChannelRecord(
        int format, const QString& name, const MirrorProbe* probed, const QByteArray& text);

    void fetchIni();
    void onIni(MirrorProbe* probe);
    void checkIniBinding();
    void fetchManifest();
    void onManifest(MirrorProbe* probe);
    bool checkManifest();
    void fetchPatchIndex();
    void onPatchIndex(MirrorProbe* probe);
    void onPatchIndexSignature();

    void startFiles();
    bool nextItem(Item* item);
    bool nextIniItem(Item* item);
    void fill();
    // `digest`: of the content received, with `deep`.
    void onItem(MirrorProbe* probe, const Item& item, const QByteArray& digest);
    void finish();

    void fetchChunkBinding();
    void onChunkBinding(MirrorProbe* probe, const QByteArray& data);
    void onChunkIndex(MirrorProbe* probe);
    bool checkChunkIndex();
    void fillPacks();

    TransferEngine* transfers;
    Options options;
    const ReleaseKey& iniKey;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    QTimer* ticker;
    const QString releaseUrl;
    const QString iniName;
    QTemporaryDir workDirectory;
    QString iniPath;
    QString manifestPath;

    // What the product ini and its signature turned out as.
    QByteArray iniSha1;
    QByteArray iniSha256;
    qint64 iniSize = 0;
    QByteArray patchIndexData;
    bool manifestUsable = false;
    bool manifestListsPatches = false;
    ContentSum manifestPatchesSha256;
    qint64 manifestPatchesSize = 0;

    std::unique_ptr<IniFileLines> iniLines;
    std::unique_ptr<ReleaseManifest::Reader> manifestLines;
    PatchIndex patchIndex;
    qsizetype nextPatch = 0;
    bool itemsLeft = false;
    int inFlight = 0;

    // The manifest body's SHA-256, which a chunk binding names.
    QByteArray manifestBody;
    bool chunksStarted = false;
    ChunkBinding chunkBinding;
    QString chunkIndexPath;
    // The packs the chunk index names, and the bytes each must hold.
    QList<QPair<QString, qint64>> packSizes;
    qsizetype nextPack = 0;

    int files = 0;
    int patches = 0;
    int packs = 0;
    int problems = 0;
    // The serial of the channel record's first format, which the second must reach.
    qint64 firstChannelSerial = 0;
    bool done = false;
};

#endif
