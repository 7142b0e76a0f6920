#ifndef INIDOWNLOADTASKSPECIFICATION_H
#define INIDOWNLOADTASKSPECIFICATION_H

#include "transfer/downloadcontext.h"
#include "update/verifieddownloadtaskspecification.h"
#include "verify/releasetrust.h"

#include <QSet>

class DownloadTaskSpecification;

// Brings the product ini and its signature into the temporary directory and
// verifies them; where the release keys ask for it, the release manifest
// too, which must reach their threshold, name this run's type and version and
// bind the ini's very bytes. Files left there by an earlier attempt are reused on the
// first run. The signature is asked of the mirror that served the ini, and a
// pair that fails its check, or a verified ini that records another update
// type or version than the one asked for, strikes the mirrors that served it
// off; both are then fetched again, until no mirror is left or after
// MAX_VERIFY_FAILURES failures.
class IniDownloadTaskSpecification : public VerifiedDownloadTaskSpecification
{
    Q_OBJECT

public:
    static constexpr int MAX_VERIFY_FAILURES = 1000;
    // Limits enforced while receiving; a signature of the built-in key is
    // 128 bytes, a product ini of tens of thousands of files a few MiB.
    static constexpr qint64 MAX_INI_SIZE = 64 * 1024 * 1024;
    static constexpr qint64 MAX_SIGNATURE_SIZE = 4 * 1024;

    // A manifest line says of a file what its ini line says, with two
    // SHA-256 digests and its section in place of MD5 sums: a few times as
    // long, more with long section names. Room for the signatures besides.
    static qint64 manifestSizeLimit(qint64 iniSize)
    {
        return qMin(ReleaseManifest::MAX_SIZE, 8 * iniSize + 64 * 1024);
    }

    IniDownloadTaskSpecification(const DownloadContext& context, const QString& updateType, int version,
        QObject* parent, double parentProgressRange);

    // The keys that vouch for releases; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }
    QString localManifestPath() const;
    // Whether the run ended with a manifest that verified, at localManifestPath().
    bool manifestVerified() const { return verifiedManifest; }
    // When the verified manifest says the release was published; -1 without one.
    qint64 publishedTime() const { return verifiedManifest ? published : -1; }
    // Whether the release may have a patch index: a verified manifest names
    // the one it has.
    bool mayHavePatches() const { return !verifiedManifest || manifestListsPatches; }

public Q_SLOTS:
    void execute() override;
    void reset() override;

protected:
    void addRound() override;
    bool roundAccepted() override;
    TaskState roundFailed() override;

private:
    // Whether the verified ini belongs to the type and version of this run;
    // an ini without a record (released before it existed) is accepted.
    bool releaseMatches(const QString& localIni);
    // Whether the manifest vouches for the verified ini; reports why not.
    bool manifestAccepted(const QString& localIni);
    // Says so when keys this updater does not count signed a manifest it
    // refuses: the publisher may have moved on to new keys without a bridge.
    void explainUncounted(const QByteArray& bodySha256, const QList<ReleaseManifest::Signature>& signatures);
    bool fetchesManifest() const { return !trust.keys.isEmpty(); }

    DownloadContext context;
    QString updateType;
    int version;
    void strikeServingMirrors();

    int verifyFailures = 0;
    // The downloads of this round, null for a local copy that is checked.
    DownloadTaskSpecification* iniDownload = nullptr;
    DownloadTaskSpecification* sigDownload = nullptr;
    DownloadTaskSpecification* manifestDownload = nullptr;
    // The mirrors that answered this round's manifest request without it.
    QSet<QString> manifestLacking;
    // Whether this round's ini verified but belongs to another release, or
    // the manifest does not vouch for it.
    bool releaseRefused = false;
    bool manifestRefused = false;
    // Whether the refused manifest was not there at all.
    bool manifestAbsent = false;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    bool verifiedManifest = false;
    bool manifestListsPatches = false;
    qint64 published = -1;
};

#endif
