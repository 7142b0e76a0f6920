#ifndef TRUSTEDKEYSET_H
#define TRUSTEDKEYSET_H

#include "manifest/releasemanifest.h"
#include "verify/releasetrust.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// A set of release keys that some updaters trust, and how many of them a
// release needs: the set this tool was built with, or that of an older
// updater read from a file (--also-trusted). Such a file holds one entry a
// line, "#" starting a comment:
//   HEX [NAME]          a trusted Ed25519 public key (64 hexadecimal digits,
//                       as keygen --ed25519 writes it) and a name to show
//   threshold N         how many of them must sign (default 1)
//   revoked HEX [NAME]  a key whose signatures count for nothing
class TrustedKeySet
{
public:
    // Whether signatures meet the set's threshold, and the line that says so.
    struct Verdict
    {
        bool met = false;
        QString line;
    };

    QString name;
    ReleaseTrust trust;

    // The keys built into this program (VOXMEADOW_RELEASE_KEYS), named by
    // their fingerprints.
    static TrustedKeySet builtIn();
    // The sets a command reports on: the built-in one where this program has
    // release keys, then `alsoTrusted`.
    static QList<TrustedKeySet> reported(const QList<TrustedKeySet>& alsoTrusted);
    // False, with the reason in `error`, for a file that is not of the form
    // above or whose threshold its unrevoked keys cannot reach.
    static bool read(const QString& path, TrustedKeySet* set, QString* error);
    // The first 16 hexadecimal digits of a public key: what `cat KEY.pub` shows first.
    static QString fingerprint(const QByteArray& key);

    int unrevokedKeys() const;
    QString keyName(const QByteArray& key) const;
    // Judges the signatures of a document of the kind `context`; `document`
    // names it in the line ("this release").
    Verdict judge(const QByteArray& context, const QByteArray& bodySha256,
        const QList<ReleaseManifest::Signature>& signatures, const QString& document) const;
    // The verdict on a release without a manifest.
    Verdict judgeUnsigned(const QString& document) const;

private:
    QString heading() const;

    QHash<QByteArray, QString> names;
};

#endif
