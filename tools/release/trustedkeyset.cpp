#include "trustedkeyset.h"

#include "verify/ed25519key.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

QByteArray parseKey(const QString& hex)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-fA-F]{64}$"));
    return form.match(hex).hasMatch() ? QByteArray::fromHex(hex.toLatin1()) : QByteArray();
}

QString counted(int count, const QString& one, const QString& many)
{
    return count == 1 ? QStringLiteral("1 ") + one : QStringLiteral("%1 ").arg(count) + many;
}

} // namespace

TrustedKeySet TrustedKeySet::builtIn()
{
    TrustedKeySet set;
    set.name = QStringLiteral("built-in");
    set.trust = ReleaseTrust::builtIn();
    return set;
}

QList<TrustedKeySet> TrustedKeySet::reported(const QList<TrustedKeySet>& alsoTrusted)
{
    const TrustedKeySet built = builtIn();
    return built.trust.keys.isEmpty() ? alsoTrusted : QList<TrustedKeySet> { built } + alsoTrusted;
}

bool TrustedKeySet::read(const QString& path, TrustedKeySet* set, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    TrustedKeySet read;
    read.name = QFileInfo(path).fileName();
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        QStringList words = line.split(spaces);
        const auto bad = [&](const QString& why) {
            *error = QStringLiteral("%1, line %2: %3").arg(path).arg(number).arg(why);
            return false;
        };
        if (words.first() == QLatin1String("threshold")) {
            bool ok = false;
            read.trust.threshold = words.value(1).toInt(&ok);
            if (words.size() != 2 || !ok || read.trust.threshold < 1)
                return bad(QStringLiteral("expected \"threshold N\" with N above 0"));
            continue;
        }
        const bool revoked = words.first() == QLatin1String("revoked");
        if (revoked)
            words.removeFirst();
        const QByteArray key = parseKey(words.value(0));
        if (key.isEmpty())
            return bad(QStringLiteral("expected a public key of 64 hexadecimal digits, \"revoked KEY\" or "
                                      "\"threshold N\""));
        (revoked ? read.trust.revoked : read.trust.keys).append(key);
        if (words.size() > 1)
            read.names.insert(key, words.mid(1).join(QLatin1Char(' ')));
    }
    if (read.trust.keys.isEmpty()) {
        *error = QStringLiteral("%1 lists no trusted key").arg(path);
        return false;
    }
    if (read.unrevokedKeys() < read.trust.threshold) {
        *error = QStringLiteral("%1 asks for %2 signatures but lists %3: no release could meet it")
                     .arg(path)
                     .arg(read.trust.threshold)
                     .arg(counted(read.unrevokedKeys(), QStringLiteral("unrevoked key"),
                         QStringLiteral("unrevoked keys")));
        return false;
    }
    *set = read;
    return true;
}

QString TrustedKeySet::fingerprint(const QByteArray& key)
{
    return QString::fromLatin1(key.toHex().left(16));
}

int TrustedKeySet::unrevokedKeys() const
{
    QList<QByteArray> distinct;
    for (const QByteArray& key : trust.keys) {
        if (trust.counts(key) && !distinct.contains(key))
            distinct << key;
    }
    return int(distinct.size());
}

QString TrustedKeySet::keyName(const QByteArray& key) const
{
    return names.value(key, fingerprint(key));
}

QString TrustedKeySet::heading() const
{
    return QStringLiteral("Trusted set '%1' (threshold %2 of %3): ")
        .arg(name)
        .arg(trust.threshold)
        .arg(counted(unrevokedKeys(), QStringLiteral("key"), QStringLiteral("keys")));
}

TrustedKeySet::Verdict TrustedKeySet::judgeUnsigned(const QString& document) const
{
    return { false,
        heading()
            + QStringLiteral("NOT met: no release manifest; updaters with this set will refuse %1")
                  .arg(document) };
}

TrustedKeySet::Verdict TrustedKeySet::judge(const QByteArray& context, const QByteArray& bodySha256,
    const QList<ReleaseManifest::Signature>& signatures, const QString& document) const
{
    QStringList valid;
    QStringList revoked;
    QStringList unknown;
    for (const QByteArray& signer : ReleaseTrust::validSigners(context, bodySha256, signatures)) {
        if (trust.counts(signer))
            valid << keyName(signer);
        else if (trust.revoked.contains(signer))
            revoked << keyName(signer);
        else
            unknown << keyName(signer);
    }
    const int signers = int(valid.size());
    Verdict verdict;
    verdict.met = trust.reachesThreshold(signers);
    const QString list
        = valid.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(valid.join(QStringLiteral(", ")));
    verdict.line = heading();
    if (verdict.met) {
        verdict.line
            += QStringLiteral("met by %1%2")
                   .arg(counted(signers, QStringLiteral("signature"), QStringLiteral("signatures")), list);
        return verdict;
    }
    verdict.line
        += QStringLiteral("NOT met: %1%2")
               .arg(counted(signers, QStringLiteral("valid signature"), QStringLiteral("valid signatures")),
                   list);
    if (!revoked.isEmpty())
        verdict.line += QStringLiteral("; signed also by %1 (%2), which counts for nothing")
                            .arg(revoked.size() == 1 ? QStringLiteral("a revoked key")
                                                     : QStringLiteral("revoked keys"),
                                revoked.join(QStringLiteral(", ")));
    if (!unknown.isEmpty())
        verdict.line += QStringLiteral("; signed also by %1 it does not list (%2)")
                            .arg(unknown.size() == 1 ? QStringLiteral("a key") : QStringLiteral("keys"),
                                unknown.join(QStringLiteral(", ")));
    verdict.line += QStringLiteral("; updaters with this set will refuse %1").arg(document);
    return verdict;
}
