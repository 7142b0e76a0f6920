#include "releasecommandline.h"

#include "channelrecordcosigner.h"
#include "channelrecordmaker.h"
#include "manifest/installationlayout.h"
#include "manifest/outsidetext.h"
#include "manifestcosigner.h"
#include "mirrorcheck.h"
#include "releasekey.h"
#include "releasepublisher.h"
#include "stagedfile.h"
#include "trustedkeyset.h"
#include "transfer/transferengine.h"
#include "verify/ed25519key.h"
#include "verify/releasetrust.h"

#include "buildconfig.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QUrl>

namespace {

const char* const Overview = "Usage: %1 COMMAND [OPTIONS]\n"
                             "\n"
                             "Publishes updates of the Voxmeadow 3 client for its HTTP mirrors.\n"
                             "\n"
                             "Commands:\n"
                             "  keygen         create a signing key pair (RSA, or Ed25519 for manifests)\n"
                             "  publish        publish a version of an installation tree into a mirror root\n"
                             "  sign-manifest  add a signature to a published release's manifest\n"
                             "  channels       sign the record of which version each channel offers\n"
                             "  sign-channels  add a signature to a mirror root's channel record\n"
                             "  sign           sign a single file (writes FILE.sig)\n"
                             "  verify         check a file against its signature\n"
                             "  check-mirror   check that a mirror serves a published release whole\n"
                             "\n"
                             "\"%1 COMMAND --help\" describes the options of a command;\n"
                             "\"%1 --version\" shows the version and the release keys built in.\n";

const char* const KeygenHelp
    = "Usage: %1 keygen [--bits N | --ed25519] --private FILE --public FILE [--force]\n"
      "\n"
      "Creates a key pair. The private key is written readable by its owner\n"
      "only; keep it secret.\n"
      "\n"
      "An RSA key pair (the default) signs product inis and patch indexes. The\n"
      "private key is written as PEM when FILE ends in \".pem\" and as DER\n"
      "otherwise, the public key as the DER RSAPublicKey that the updater's release\n"
      "build takes (scripts/release-build.sh --public-key FILE).\n"
      "\n"
      "An Ed25519 key pair (--ed25519) signs release manifests (publish\n"
      "--manifest-key, sign-manifest). The private key is written as PEM (PKCS #8),\n"
      "the public key as 64 hexadecimal digits and a newline, the form in which\n"
      "the updater's release build takes its release keys\n"
      "(scripts/release-build.sh --release-key FILE).\n"
      "\n"
      "  --private FILE  where to write the private key\n"
      "  --public FILE   where to write the public key\n"
      "  --bits N        size of the RSA key, 2048 to 4096 bits (default %2)\n"
      "  --ed25519       create an Ed25519 key pair for release manifests\n"
      "  --force         replace existing key files; the new pair is written in\n"
      "                  full before it replaces the old one, and a failure\n"
      "                  leaves the old pair as it was\n";

const char* const PublishHelp
    = "Usage: %1 publish --source DIR --output DIR --version N --key FILE [OPTIONS]\n"
      "\n"
      "Publishes the files below DIR as version N into the mirror root OUTPUT:\n"
      "  OUTPUT/N/SECTION/PATH        every file (PATH.gz when packed)\n"
      "  OUTPUT/N/TYPE.ini, .ini.sig  the product ini and its signature\n"
      "  OUTPUT/N/TYPE.manifest       with --manifest-key: the release manifest\n"
      "  OUTPUT/N/changelog_client.txt  with --changelog\n"
      "Every release also installs voxmeadow.release, a file naming its type and\n"
      "version, and with --changelog the changelog as voxmeadow.changelog too, so\n"
      "that the manifest vouches for it; a source holding either name is refused.\n"
      "The release is assembled in a hidden directory inside OUTPUT and moved to\n"
      "OUTPUT/N when complete; an existing OUTPUT/N is never touched. Nothing is\n"
      "written outside OUTPUT.\n"
      "\n"
      "  --source DIR             installation tree of the new version\n"
      "  --output DIR             mirror root (created when missing)\n"
      "  --version N              version number, a whole number above 0\n"
      "  --key FILE               private key (PKCS #1 or PKCS #8, DER or PEM)\n"
      "  --type TYPE              update type, names the product ini (default %2)\n"
      "  --section NAME           section of files no rule places (default \"files\")\n"
      "  --section-for GLOB=NAME  put files matching GLOB into section NAME; the\n"
      "                           first matching rule wins (repeatable)\n"
      "  --pack GLOB              publish files matching GLOB gzip-packed (repeatable)\n"
      "  --previous INI           product ini of the version this one replaces; files\n"
      "                           it installed (or deleted) that this version does not\n"
      "                           install are listed for deletion. It must lie in its\n"
      "                           release directory (RELEASE_DIR/TYPE.ini) and is\n"
      "                           checked first: its .sig, its record of type and\n"
      "                           version against RELEASE_DIR's name, and\n"
      "                           TYPE.manifest beside it, where there is one (its\n"
      "                           signatures and the ini's digest). The updater's own\n"
      "                           files (update, update.ini, mirrors.ini,\n"
      "                           update.digests) are never deleted; a release that\n"
      "                           deletes more files than the previous one is warned\n"
      "                           about\n"
      "  --previous-version M     short for --previous OUTPUT/M/TYPE.ini\n"
      "  --previous-key FILE      public key (DER or PEM) that the previous product\n"
      "                           ini's signature verifies with (default: --key's)\n"
      "  --changelog FILE         publish FILE as changelog_client.txt, and\n"
      "                           install it as voxmeadow.changelog\n"
      "  --patch-from DIR         an earlier published release directory (e.g.\n"
      "                           OUTPUT/M): each file whose installed content\n"
      "                           changed since it gets a zstd patch against that\n"
      "                           earlier content, kept when smaller than 80 % of\n"
      "                           the file as published; patches go to\n"
      "                           OUTPUT/N/patches/EARLIER-MD5/PATH.patch, listed in\n"
      "                           OUTPUT/N/TYPE.patches and its signature\n"
      "                           TYPE.patches.sig (repeatable)\n"
      "  --manifest-key FILE      Ed25519 private key (PEM) that signs the release\n"
      "                           manifest OUTPUT/N/TYPE.manifest, which lists the\n"
      "                           SHA-256 digest and size of every published file\n"
      "                           and binds the product ini and patch index; with\n"
      "                           it the patch index lists SHA-256 digests too\n"
      "                           (repeatable, one signature per distinct key; more\n"
      "                           signers add theirs later with sign-manifest)\n"
      "  --exclude GLOB           leave out files matching GLOB, and everything below\n"
      "                           a directory matching it (repeatable)\n"
      "  --also-trusted FILE      the key set of updaters built with other release\n"
      "                           keys (e.g. before a rotation): a file of lines\n"
      "                           \"HEX [NAME]\", \"revoked HEX [NAME]\" and\n"
      "                           \"threshold N\"; whether the signatures meet it is\n"
      "                           reported, as for the keys built in (repeatable)\n"
      "  --require-trusted        fail when a reported key set is not met\n"
      "                           (the release is then not published)\n"
      "  --chunks                 also cut every file's installed content into\n"
      "                           content-defined chunks of 16 to 256 KiB, stored\n"
      "                           once in zstd packs of about 4 MiB in\n"
      "                           OUTPUT/chunks/ for all releases, listed in\n"
      "                           OUTPUT/N/TYPE.chunks and bound to the manifest by\n"
      "                           OUTPUT/N/TYPE.chunks.binding (needs\n"
      "                           --manifest-key; see docs/chunks.md)\n"
      "  --quiet                  no progress lines\n"
      "\n"
      "A source that holds what an updater writes for its installation (update.ini,\n"
      "update.digests, update.log, .voxmeadow-new-* files) is refused: every player\n"
      "would get one installation's settings. A staging directory that a killed\n"
      "publish left in OUTPUT is removed first, and said so.\n"
      "\n"
      "A GLOB without \"/\" is matched against the file name (\"*.so\"), one with\n"
      "\"/\" against the whole relative path (\"plugins/*\"), one that starts with\n"
      "\"./\" against the path from the top (\"./update.ini\": only the top's); \"*\"\n"
      "and \"?\" do not cross \"/\".\n";

const char* const SignManifestHelp
    = "Usage: %1 sign-manifest --key FILE [--type TYPE] RELEASE_DIR\n"
      "\n"
      "Adds the signature of an Ed25519 key to RELEASE_DIR/TYPE.manifest, the\n"
      "manifest of a published release (e.g. OUTPUT/N), for updaters that need\n"
      "more than one signer. Nothing is signed unchecked: the manifest's form,\n"
      "its release line (TYPE and the version RELEASE_DIR is named by), the\n"
      "product ini and patch index, and the size and SHA-256 of every file it\n"
      "lists (packed files unpacked too) must match what RELEASE_DIR holds, and\n"
      "each file its product ini line. The manifest is replaced atomically and\n"
      "keeps its other signatures; a key that signed it already changes nothing.\n"
      "A release published with --chunks has its TYPE.chunks.binding signed too,\n"
      "once it names this manifest and TYPE.chunks as RELEASE_DIR holds it.\n"
      "\n"
      "Then it reports, for the release keys built into this program and for each\n"
      "--also-trusted set, whether the signatures meet its threshold.\n"
      "\n"
      "  --key FILE               Ed25519 private key (PEM, PKCS #8)\n"
      "  --type TYPE              update type, names the manifest (default %2)\n"
      "  --also-trusted FILE      the key set of updaters built with other release\n"
      "                           keys (e.g. before a rotation): a file of lines\n"
      "                           \"HEX [NAME]\", \"revoked HEX [NAME]\" and\n"
      "                           \"threshold N\"; whether the signatures meet it is\n"
      "                           reported, as for the keys built in (repeatable)\n"
      "  --require-trusted        exit code 1 while a reported key set is not met\n"
      "                           (the signature is added all the same)\n";

const char* const ChannelsHelp
    = "Usage: %1 channels --output DIR --key FILE [--channel NAME=VERSION[:LABEL]]... [OPTIONS]\n"
      "\n"
      "Writes DIR/TYPE.channels2 and DIR/TYPE.channels, the signed channel record\n"
      "of the mirror root DIR: the version each channel (stable, beta, alpha)\n"
      "offers, a serial number above the previous record's, when it was made and\n"
      "when it expires. Updaters built with release keys fetch it beside the\n"
      "update server's answer: a newer version in it wins over an older answer, a\n"
      "record with a lower serial than one seen before is ignored as a replay, and\n"
      "an expired record makes the updater say how old its information is instead\n"
      "of \"up to date\". Run it again before the record expires (e.g. daily from a\n"
      "timer): without --channel the current record's channels are carried over,\n"
      "once it is checked to bear a valid signature of every key given and, where\n"
      "this program has release keys, as many of those as their threshold. With\n"
      "--channel the channels are stated anew and only the current record's serial\n"
      "is built on. Channels are stable, beta and alpha; every version named must\n"
      "be published in DIR. The file is replaced atomically. Signed by fewer\n"
      "release keys than the threshold, the record is written with a warning;\n"
      "further signers add theirs with sign-channels.\n"
      "\n"
      "A staged rollout gives a channel's version to a share of installations\n"
      "and its previous version to the others; each installation draws its place\n"
      "once per version, so a raised share keeps those it had. A halted channel\n"
      "offers the previous version to installations that do not have the new one.\n"
      "DIR/TYPE.channels2 holds the rollouts; DIR/TYPE.channels, for updaters\n"
      "that know none, offers the previous version until the share is 100 %.\n"
      "\n"
      "  --output DIR                  mirror root\n"
      "  --key FILE                    Ed25519 private key (PEM); repeatable, one\n"
      "                                signature per key, as many as the\n"
      "                                updaters' threshold needs\n"
      "  --channel NAME=VERSION[:LABEL]  a channel and the version it offers\n"
      "                                (repeatable); the label is shown to players\n"
      "                                and holds no tab, control character or\n"
      "                                bidirectional override\n"
      "  --type TYPE                   update type (default %2)\n"
      "  --valid-days N                how long the record holds (default 7)\n"
      "  --serial N                    serial to use (default: one above the\n"
      "                                current record's)\n"
      "  --also-trusted FILE           the key set of updaters built with other\n"
      "                                release keys; whether the signatures meet it\n"
      "                                is reported, as for the keys built in\n"
      "                                (repeatable; see publish --help)\n"
      "  --require-trusted             write no record that a reported key set\n"
      "                                would ignore\n"
      "  --previous NAME=VERSION[:LABEL]  the version a channel offered before,\n"
      "                                for installations the rollout has not reached\n"
      "  --rollout NAME=PERCENT        the share of installations given the\n"
      "                                channel's version, 0 to 100 in steps of 0.1\n"
      "                                (repeatable); lifts a halt\n"
      "  --halt NAME                   halt the channel's rollout (repeatable)\n";

const char* const SignChannelsHelp
    = "Usage: %1 sign-channels --output DIR --key FILE [--type TYPE]\n"
      "\n"
      "Adds the signature of an Ed25519 key to DIR/TYPE.channels2 (where there is\n"
      "one) and DIR/TYPE.channels, the channel record that channels wrote, for\n"
      "updaters that need more than one signer. Nothing is signed unchecked: the\n"
      "record's form and type, that it has not expired, and that each channel is\n"
      "one the updater knows and offers a version published in DIR. The channels\n"
      "signed are listed; read them. The record is replaced atomically and keeps\n"
      "its other signatures; a key that signed it already changes nothing.\n"
      "\n"
      "  --output DIR  mirror root\n"
      "  --key FILE    Ed25519 private key (PEM, PKCS #8)\n"
      "  --type TYPE   update type (default %2)\n";

const char* const SignHelp = "Usage: %1 sign --key FILE [--output SIG] FILE\n"
                             "\n"
                             "Signs FILE (RSASSA-PSS, SHA-1, salt length 8) and writes the raw signature\n"
                             "to FILE.sig or SIG.\n"
                             "\n"
                             "  --key FILE    private key (PKCS #1 or PKCS #8, DER or PEM)\n"
                             "  --output SIG  where to write the signature (default FILE.sig)\n";

const char* const VerifyHelp = "Usage: %1 verify [--public-key FILE] [--signature SIG] FILE\n"
                               "\n"
                               "Checks FILE against its signature. Exit code 0: valid, 1: not valid.\n"
                               "\n"
                               "  --public-key FILE  public key (DER or PEM); default: the key built into\n"
                               "                     this program, the one the updater uses\n"
                               "  --signature SIG    signature file (default FILE.sig)\n";

const char* const CheckMirrorHelp
    = "Usage: %1 check-mirror [--type TYPE] [--deep] [--public-key FILE] URL VERSION\n"
      "\n"
      "Checks that the mirror URL (as mirrors.ini names it) serves release VERSION\n"
      "as the updater needs it, asking as the updater asks: no redirect is\n"
      "followed, nothing is decoded, every answer is bounded. The product ini\n"
      "and its signature must be there and verify; the release manifest too\n"
      "where this program's release keys ask for one, naming the release and\n"
      "binding the ini; the patch index and its signature where the manifest\n"
      "names one or the mirror has one. Every file the ini lists and every patch\n"
      "the index lists must be served at its listed size (a mirror that serves\n"
      "ranges sends one byte of each). Eight requests run at once; one that\n"
      "receives less than 1 KiB in 15 seconds or 32 KiB in 30 seconds counts\n"
      "as failed, as a download of the updater does, and so does one past the\n"
      "deadline the updater gives a document of its size bound (10 minutes at\n"
      "most; a deep check's whole files have none). Where this program has\n"
      "release keys, the mirror root's channel record TYPE.channels must be\n"
      "served, signed by enough of them, and not expired.\n"
      "\n"
      "Each problem is one line, e.g. \"missing: 5/files/data/a.dat (404)\", and a\n"
      "summary follows. Exit code 0: the mirror serves the release, 1: something\n"
      "is missing or wrong, 2: the command line is wrong.\n"
      "\n"
      "  --type TYPE        update type (default %2)\n"
      "  --deep             fetch every file and patch and compare its digest: the\n"
      "                     manifest's SHA-256, or without a manifest the product\n"
      "                     ini's MD5\n"
      "  --public-key FILE  public key (DER or PEM) of the product ini and patch\n"
      "                     index; default: the key built into this program, the\n"
      "                     one the updater uses\n";

// In the unit that shows the size: a patch of 529 bytes is no "0.0 MiB".
QString formatSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024 / 10)
        return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

bool parse(QCommandLineParser& parser, const QStringList& args, QString* problem)
{
    parser.addOption(QCommandLineOption(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help.")));
    if (!parser.parse(args)) {
        *problem = parser.errorText();
        return false;
    }
    return true;
}

bool replaceable(const QString& path, bool force, QString* problem)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (!force) {
        *problem = QStringLiteral("%1 exists already (use --force to replace it)").arg(path);
        return false;
    }
    if (!info.isFile() || info.isSymLink()) {
        *problem = QStringLiteral("cannot replace %1").arg(path);
        return false;
    }
    return true;
}

bool readTrustedSets(const QStringList& paths, QList<TrustedKeySet>* sets, QString* problem)
{
    for (const QString& path : paths) {
        TrustedKeySet set;
        if (!TrustedKeySet::read(path, &set, problem))
            return false;
        sets->append(set);
    }
    return true;
}

QString versionText()
{
    const ReleaseTrust& trust = ReleaseTrust::builtIn();
    QString text = QStringLiteral("voxmeadow-release %1\n").arg(QStringLiteral(VOXMEADOW_VERSION));
    if (trust.keys.isEmpty())
        return text
            + QStringLiteral("Release keys: none built in; updaters built alike take a release on its "
                             "product ini's signature alone.\n");
    text += QStringLiteral("Release keys: %1 built in, %2 revoked; signatures a release needs: %3.\n")
                .arg(trust.keys.size())
                .arg(trust.revoked.size())
                .arg(trust.threshold);
    for (const QByteArray& key : trust.keys)
        text += QStringLiteral("  key      %1%2\n")
                    .arg(QString::fromLatin1(key.toHex()),
                        trust.revoked.contains(key) ? QStringLiteral(" (revoked)") : QString());
    for (const QByteArray& key : trust.revoked) {
        if (!trust.keys.contains(key))
            text += QStringLiteral("  revoked  %1\n").arg(QString::fromLatin1(key.toHex()));
    }
    if (trust.legacyBelow > 0)
        text += QStringLiteral("Releases below version %1 are taken without a release manifest.\n")
                    .arg(trust.legacyBelow);
    if constexpr (VOXMEADOW_DEMO_KEYS != 0)
        text += QStringLiteral("Built with the public demo keys: for tests only, never for players.\n");
    return text;
}

} // namespace

ReleaseCommandLine::ReleaseCommandLine(QTextStream& out, QTextStream& err)
    : out(out)
    , err(err)
{ }

int ReleaseCommandLine::usage(const QString& problem)
{
    err << program << ": " << OutsideText::escaped(problem) << "\n"
        << "Try \"" << program << " --help\" for the commands and their options.\n";
    err.flush();
    return UsageError;
}

int ReleaseCommandLine::failure(const QString& problem)
{
    err << program << ": error: " << OutsideText::escaped(problem) << "\n";
    err.flush();
    return Failure;
}

int ReleaseCommandLine::run(const QStringList& args)
{
    program = args.isEmpty() ? QStringLiteral("voxmeadow-release") : QFileInfo(args.first()).fileName();
    if (args.size() < 2)
        return usage(QStringLiteral("no command given"));
    const QString command = args.at(1);
    QStringList rest = args.mid(1);
    rest.first() = program + QLatin1Char(' ') + command;
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        out << QString::fromLatin1(Overview).arg(program);
        out.flush();
        return Success;
    }
    if (command == QLatin1String("--version")) {
        out << versionText();
        out.flush();
        return Success;
    }
    if (command == QLatin1String("keygen"))
        return keygen(rest);
    if (command == QLatin1String("publish"))
        return publish(rest);
    if (command == QLatin1String("sign-manifest"))
        return signManifest(rest);
    if (command == QLatin1String("sign"))
        return sign(rest);
    if (command == QLatin1String("channels"))
        return channels(rest);
    if (command == QLatin1String("sign-channels"))
        return signChannels(rest);
    if (command == QLatin1String("verify"))
        return verify(rest);
    if (command == QLatin1String("check-mirror"))
        return checkMirror(rest);
    return usage(QStringLiteral("unknown command \"%1\"").arg(command));
}

int ReleaseCommandLine::keygen(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption privateOption(QStringLiteral("private"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption publicOption(QStringLiteral("public"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption forceOption(QStringLiteral("force"));
    const QCommandLineOption bitsOption(QStringLiteral("bits"), QString(), QStringLiteral("N"));
    const QCommandLineOption ed25519Option(QStringLiteral("ed25519"));
    parser.addOptions({ privateOption, publicOption, forceOption, bitsOption, ed25519Option });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(KeygenHelp).arg(program).arg(ReleaseKey::DefaultBits);
        out.flush();
        return Success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    const QString privatePath = parser.value(privateOption);
    const QString publicPath = parser.value(publicOption);
    if (privatePath.isEmpty() || publicPath.isEmpty())
        return usage(QStringLiteral("keygen needs --private FILE and --public FILE"));
    if (QFileInfo(privatePath).absoluteFilePath() == QFileInfo(publicPath).absoluteFilePath())
        return usage(QStringLiteral("--private and --public name the same file"));
    const bool ed25519 = parser.isSet(ed25519Option);
    int bits = ReleaseKey::DefaultBits;
    if (parser.isSet(bitsOption)) {
        bool ok = false;
        bits = parser.value(bitsOption).toInt(&ok);
        if (ed25519)
            return usage(QStringLiteral("--bits sizes RSA keys; an Ed25519 key has no size to choose"));
        if (!ok)
            return usage(
                QStringLiteral("--bits takes a number of bits, not \"%1\"").arg(parser.value(bitsOption)));
        if (bits < ReleaseKey::MinimumBits)
            return usage(
                QStringLiteral("--bits %1: RSA keys of fewer than %2 bits are too weak to sign releases")
                    .arg(bits)
                    .arg(ReleaseKey::MinimumBits));
        if (bits > ReleaseKey::MaximumBits || bits % 8 != 0)
            return usage(QStringLiteral("--bits takes a multiple of 8 from %1 to %2, not %3")
                             .arg(ReleaseKey::MinimumBits)
                             .arg(ReleaseKey::MaximumBits)
                             .arg(bits));
    }
    const bool force = parser.isSet(forceOption);
    if (!force && (!replaceable(privatePath, false, &problem) || !replaceable(publicPath, false, &problem)))
        return failure(problem);

    if (ed25519) {
        const Ed25519Key key = Ed25519Key::generate();
        const QByteArray privatePem = key.privatePem();
        if (privatePem.isEmpty())
            return failure(QStringLiteral("cannot create an Ed25519 key"));
        if (!replaceable(privatePath, force, &problem) || !replaceable(publicPath, force, &problem)
            || !StagedFile::replacePair(
                privatePath, privatePem, publicPath, key.publicKey().toHex() + '\n', &problem))
            return failure(problem);
        out << "private key: " << privatePath << " (keep it secret)\n"
            << "public key:  " << publicPath << " (the updater's release build takes it: "
            << "scripts/release-build.sh --release-key " << QFileInfo(publicPath).absoluteFilePath() << ")\n";
        out.flush();
        return Success;
    }
    ReleaseKey key;
    if (!key.generate(bits, &problem) || !replaceable(privatePath, force, &problem)
        || !replaceable(publicPath, force, &problem) || !key.savePair(privatePath, publicPath, &problem))
        return failure(problem);
    out << "private key: " << privatePath << " (" << bits << "-bit RSA; keep it secret)\n"
        << "public key:  " << publicPath
        << " (the updater's release build takes it: scripts/release-build.sh --public-key "
        << QFileInfo(publicPath).absoluteFilePath() << ")\n";
    out.flush();
    return Success;
}

int ReleaseCommandLine::publish(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption sourceOption(QStringLiteral("source"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption outputOption(QStringLiteral("output"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption versionOption(QStringLiteral("version"), QString(), QStringLiteral("N"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption typeOption(QStringLiteral("type"), QString(), QStringLiteral("TYPE"));
    const QCommandLineOption sectionOption(QStringLiteral("section"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption sectionForOption(
        QStringLiteral("section-for"), QString(), QStringLiteral("GLOB=NAME"));
    const QCommandLineOption packOption(QStringLiteral("pack"), QString(), QStringLiteral("GLOB"));
    const QCommandLineOption previousOption(QStringLiteral("previous"), QString(), QStringLiteral("INI"));
    const QCommandLineOption previousVersionOption(
        QStringLiteral("previous-version"), QString(), QStringLiteral("M"));
    const QCommandLineOption previousKeyOption(
        QStringLiteral("previous-key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption changelogOption(QStringLiteral("changelog"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption patchFromOption(QStringLiteral("patch-from"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption manifestKeyOption(
        QStringLiteral("manifest-key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"));
    const QCommandLineOption excludeOption(QStringLiteral("exclude"), QString(), QStringLiteral("GLOB"));
    const QCommandLineOption alsoTrustedOption(
        QStringLiteral("also-trusted"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption requireTrustedOption(QStringLiteral("require-trusted"));
    parser.addOptions({ sourceOption, outputOption, versionOption, keyOption, typeOption, sectionOption,
        sectionForOption, packOption, previousOption, previousVersionOption, previousKeyOption,
        changelogOption, patchFromOption, manifestKeyOption, quietOption, excludeOption, alsoTrustedOption,
        requireTrustedOption });
    const QCommandLineOption chunksOption(QStringLiteral("chunks"));
    parser.addOption(chunksOption);
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(PublishHelp).arg(program, InstallationLayout::defaultUpdateType());
        out.flush();
        return Success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    for (const QCommandLineOption& required : { sourceOption, outputOption, versionOption, keyOption }) {
        if (parser.value(required).isEmpty())
            return usage(QStringLiteral("publish needs --%1").arg(required.names().first()));
    }

    ReleasePublisher::Options options;
    options.sourceDir = parser.value(sourceOption);
    options.outputDir = parser.value(outputOption);
    bool ok = false;
    options.version = parser.value(versionOption).toInt(&ok);
    if (!ok || options.version <= 0)
        return usage(QStringLiteral("--version takes a whole number above 0, not \"%1\"")
                         .arg(parser.value(versionOption)));
    options.privateKeyPath = parser.value(keyOption);
    options.updateType
        = parser.isSet(typeOption) ? parser.value(typeOption) : InstallationLayout::defaultUpdateType();
    if (parser.isSet(sectionOption))
        options.defaultSection = parser.value(sectionOption);
    for (const QString& rule : parser.values(sectionForOption)) {
        const int equals = rule.lastIndexOf(QLatin1Char('='));
        if (equals <= 0 || equals == rule.size() - 1)
            return usage(QStringLiteral("--section-for takes GLOB=NAME, not \"%1\"").arg(rule));
        options.sectionRules << ReleasePublisher::SectionRule { rule.left(equals), rule.mid(equals + 1) };
    }
    options.packPatterns = parser.values(packOption);
    if (parser.isSet(previousOption) && parser.isSet(previousVersionOption))
        return usage(QStringLiteral("give either --previous or --previous-version, not both"));
    options.previousIni = parser.value(previousOption);
    if (parser.isSet(previousVersionOption)) {
        const int previousVersion = parser.value(previousVersionOption).toInt(&ok);
        if (!ok || previousVersion <= 0)
            return usage(QStringLiteral("--previous-version takes a whole number above 0, not \"%1\"")
                             .arg(parser.value(previousVersionOption)));
        options.previousIni
            = QDir(options.outputDir)
                  .filePath(QStringLiteral("%1/%2.ini").arg(previousVersion).arg(options.updateType));
    }
    if (parser.isSet(previousKeyOption) && options.previousIni.isEmpty())
        return usage(QStringLiteral("--previous-key needs --previous or --previous-version"));
    options.previousKeyPath = parser.value(previousKeyOption);
    options.changelog = parser.value(changelogOption);
    options.patchFrom = parser.values(patchFromOption);
    options.manifestKeyPaths = parser.values(manifestKeyOption);
    options.excludePatterns = parser.values(excludeOption);
    if (!readTrustedSets(parser.values(alsoTrustedOption), &options.alsoTrusted, &problem))
        return usage(problem);
    options.requireTrusted = parser.isSet(requireTrustedOption);
    options.chunks = parser.isSet(chunksOption);

    ReleasePublisher publisher(options);
    QElapsedTimer sinceReport;
    bool reported = false;
    if (!parser.isSet(quietOption)) {
        publisher.setProgressHandler([&](const ReleasePublisher::Progress& progress) {
            // Small trees publish in silence; large ones report once a second and at the end.
            const bool last = progress.filesDone == progress.filesTotal;
            if (!sinceReport.isValid()) {
                sinceReport.start();
                return;
            }
            if (sinceReport.elapsed() < 1000 && !(last && reported))
                return;
            sinceReport.restart();
            reported = true;
            err << "published " << progress.filesDone << " of " << progress.filesTotal << " files ("
                << formatSize(progress.bytesDone) << " of " << formatSize(progress.bytesTotal) << ")\n";
            err.flush();
        });
    }
    const bool published = publisher.publish();
    for (const QString& notice : publisher.notices())
        out << notice << "\n";
    out.flush();
    for (const QString& warning : publisher.warnings())
        err << program << ": warning: " << OutsideText::escaped(warning) << "\n";
    err.flush();
    if (!published)
        return failure(publisher.errorString());

    int packed = 0;
    for (const ProductIniEntry& entry : publisher.productIni().entries)
        packed += entry.replace.hasUnzip() ? 1 : 0;
    out << "published version " << options.version << " in " << publisher.versionDirectory() << ": "
        << publisher.productIni().entries.size() << " files (" << packed << " packed), "
        << publisher.productIni().deleteKeys.size() << " to delete\n";
    if (!options.patchFrom.isEmpty()) {
        const ReleasePublisher::PatchSummary& patches = publisher.patchSummary();
        out << "patches: " << patches.patches << " (" << formatSize(patches.patchBytes) << ") for "
            << patches.changedFiles << " changed files (" << formatSize(patches.wholeBytes) << " whole), "
            << patches.dropped << " dropped as not below 80 % of the whole file\n";
        if (patches.patches == 0)
            out << "no patch was worth publishing; " << publisher.patchIndexName() << " lists none\n";
    }
    if (!options.manifestKeyPaths.isEmpty())
        out << "manifest: " << publisher.manifestName() << ", signed by " << options.manifestKeyPaths.size()
            << (options.manifestKeyPaths.size() == 1 ? " key\n" : " keys\n");
    // The sets not met are among the warnings.
    for (const TrustedKeySet::Verdict& verdict : publisher.verdicts()) {
        if (verdict.met)
            out << verdict.line << "\n";
    }
    if (options.chunks) {
        const ChunkStore::Summary& chunks = publisher.chunkSummary();
        out << "chunks: " << chunks.chunks << ", " << chunks.newChunks << " new ("
            << formatSize(chunks.newBytes) << " packed in " << chunks.newPacks
            << (chunks.newPacks == 1 ? " new pack)" : " new packs)")
            << (chunks.rebuilt ? "; the store index was rebuilt from the packs" : "") << "\n";
    }
    out.flush();
    return Success;
}

int ReleaseCommandLine::signManifest(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption typeOption(QStringLiteral("type"), QString(), QStringLiteral("TYPE"));
    const QCommandLineOption alsoTrustedOption(
        QStringLiteral("also-trusted"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption requireTrustedOption(QStringLiteral("require-trusted"));
    parser.addOptions({ keyOption, typeOption, alsoTrustedOption, requireTrustedOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(SignManifestHelp).arg(program, InstallationLayout::defaultUpdateType());
        out.flush();
        return Success;
    }
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("sign-manifest takes exactly one RELEASE_DIR"));
    if (parser.value(keyOption).isEmpty())
        return usage(QStringLiteral("sign-manifest needs --key FILE"));
    const QString type
        = parser.isSet(typeOption) ? parser.value(typeOption) : InstallationLayout::defaultUpdateType();
    if (!ReleasePublisher::isValidUpdateType(type))
        return usage(QStringLiteral("invalid update type \"%1\"").arg(type));

    QList<TrustedKeySet> alsoTrusted;
    if (!readTrustedSets(parser.values(alsoTrustedOption), &alsoTrusted, &problem))
        return usage(problem);

    const Ed25519Key key = Ed25519Key::readPrivatePem(parser.value(keyOption), &problem);
    if (!key.isValid())
        return failure(problem);
    ManifestCosigner cosigner(parser.positionalArguments().first(), type);
    const ManifestCosigner::Result result = cosigner.sign(key);
    for (const QString& warning : cosigner.warnings())
        err << program << ": warning: " << OutsideText::escaped(warning) << "\n";
    err.flush();
    const QString hex = QString::fromLatin1(key.publicKey().toHex());
    switch (result) {
    case ManifestCosigner::Result::Refused: return failure(cosigner.errorString());
    case ManifestCosigner::Result::AlreadySigned:
        out << cosigner.manifestPath() << ": key " << hex << " has signed it already; nothing changed\n";
        break;
    case ManifestCosigner::Result::Signed:
        out << cosigner.manifestPath() << ": checked and signed with key " << hex << "\n";
        break;
    }
    out.flush();
    ReleaseManifest::Reader manifest(cosigner.manifestPath());
    if (!manifest.open() || !manifest.readToEnd())
        return failure(manifest.errorString());
    QList<TrustedKeySet::Verdict> verdicts;
    for (const TrustedKeySet& set : TrustedKeySet::reported(alsoTrusted))
        verdicts << set.judge(ReleaseManifest::signingContext(), manifest.bodySha256(), manifest.signatures(),
            QStringLiteral("this release"));
    return report(verdicts, parser.isSet(requireTrustedOption));
}

int ReleaseCommandLine::report(const QList<TrustedKeySet::Verdict>& verdicts, bool requireTrusted)
{
    bool met = true;
    for (const TrustedKeySet::Verdict& verdict : verdicts) {
        if (verdict.met)
            out << verdict.line << "\n";
        else
            err << program << (requireTrusted ? ": error: " : ": warning: ") << verdict.line << "\n";
        met = met && verdict.met;
    }
    out.flush();
    err.flush();
    return met || !requireTrusted ? Success : Failure;
}

int ReleaseCommandLine::channels(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption outputOption(QStringLiteral("output"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption channelOption(
        QStringLiteral("channel"), QString(), QStringLiteral("NAME=VERSION"));
    const QCommandLineOption typeOption(QStringLiteral("type"), QString(), QStringLiteral("TYPE"));
    const QCommandLineOption daysOption(QStringLiteral("valid-days"), QString(), QStringLiteral("N"));
    const QCommandLineOption serialOption(QStringLiteral("serial"), QString(), QStringLiteral("N"));
    const QCommandLineOption alsoTrustedOption(
        QStringLiteral("also-trusted"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption requireTrustedOption(QStringLiteral("require-trusted"));
    parser.addOptions({ outputOption, keyOption, channelOption, typeOption, daysOption, serialOption,
        alsoTrustedOption, requireTrustedOption });
    const QCommandLineOption previousOption(
        QStringLiteral("previous"), QString(), QStringLiteral("NAME=VERSION"));
    const QCommandLineOption rolloutOption(
        QStringLiteral("rollout"), QString(), QStringLiteral("NAME=PERCENT"));
    const QCommandLineOption haltOption(QStringLiteral("halt"), QString(), QStringLiteral("NAME"));
    parser.addOptions({ previousOption, rolloutOption, haltOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(ChannelsHelp).arg(program, InstallationLayout::defaultUpdateType());
        out.flush();
        return Success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("channels takes no positional arguments"));
    if (parser.value(outputOption).isEmpty() || parser.values(keyOption).isEmpty())
        return usage(QStringLiteral("channels needs --output DIR and --key FILE"));
    ChannelRecordMaker::Options options;
    options.outputDir = parser.value(outputOption);
    options.updateType
        = parser.isSet(typeOption) ? parser.value(typeOption) : InstallationLayout::defaultUpdateType();
    if (!ReleasePublisher::isValidUpdateType(options.updateType))
        return usage(QStringLiteral("invalid update type \"%1\"").arg(options.updateType));
    const auto readChannel = [](const QString& given, ChannelRecord::Channel* channel) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const QString rest = given.mid(equals + 1);
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        bool ok = false;
        channel->name = given.left(equals);
        channel->version = rest.left(colon < 0 ? rest.size() : colon).toInt(&ok);
        channel->label = colon < 0 ? QString() : rest.mid(colon + 1);
        return equals > 0 && ok && channel->version >= 1;
    };
    for (const QString& given : parser.values(channelOption)) {
        ChannelRecord::Channel channel;
        if (!readChannel(given, &channel))
            return usage(QStringLiteral("invalid channel \"%1\": expected NAME=VERSION[:LABEL]").arg(given));
        options.channels.append(channel);
    }
    for (const QString& given : parser.values(previousOption)) {
        ChannelRecord::Channel channel;
        if (!readChannel(given, &channel))
            return usage(
                QStringLiteral("invalid --previous \"%1\": expected NAME=VERSION[:LABEL]").arg(given));
        options.previous.append(channel);
    }
    // Per cent on the command line, per mille in the record.
    static const QRegularExpression percent(QStringLiteral("^(\\d{1,3})(?:\\.(\\d))?$"));
    for (const QString& given : parser.values(rolloutOption)) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const QRegularExpressionMatch match = percent.match(given.mid(equals + 1));
        const int share = match.hasMatch() ? match.captured(1).toInt() * 10 + match.captured(2).toInt() : -1;
        if (equals <= 0 || share < 0 || share > ChannelRecord::FULL_SHARE)
            return usage(
                QStringLiteral("invalid --rollout \"%1\": expected NAME=PERCENT, 0 to 100 in steps of 0.1")
                    .arg(given));
        options.shares.append({ given.left(equals), share });
    }
    options.halted = parser.values(haltOption);
    bool ok = true;
    if (parser.isSet(daysOption)) {
        const qint64 days = parser.value(daysOption).toLongLong(&ok);
        if (!ok || days < 1 || days > 3650)
            return usage(QStringLiteral("--valid-days takes 1 to 3650"));
        options.validSeconds = days * 24 * 3600;
    }
    if (parser.isSet(serialOption)) {
        options.serial = parser.value(serialOption).toLongLong(&ok);
        if (!ok || options.serial < 1)
            return usage(QStringLiteral("--serial takes a whole number above 0"));
    }
    QList<TrustedKeySet> alsoTrusted;
    if (!readTrustedSets(parser.values(alsoTrustedOption), &alsoTrusted, &problem))
        return usage(problem);
    options.trustedSets = TrustedKeySet::reported(alsoTrusted);
    options.requireTrusted = parser.isSet(requireTrustedOption);
    std::vector<Ed25519Key> keys;
    for (const QString& path : parser.values(keyOption)) {
        keys.push_back(Ed25519Key::readPrivatePem(path, &problem));
        if (!keys.back().isValid())
            return failure(problem);
    }
    ChannelRecordMaker maker(options, std::move(keys));
    const bool made = maker.make();
    for (const QString& warning : maker.warnings())
        err << program << ": warning: " << warning << "\n";
    err.flush();
    if (!made) {
        report(maker.verdicts(), options.requireTrusted);
        return failure(maker.errorString());
    }
    const ChannelRecord& record = maker.record();
    out << maker.recordPath() << " and " << maker.recordPath(1) << ": serial " << record.serial
        << ", expires "
        << QDateTime::fromSecsSinceEpoch(record.expires, QTimeZone::utc()).toString(Qt::ISODate)
        << ", signed by " << record.signatures.size()
        << (record.signatures.size() == 1 ? " key\n" : " keys\n");
    for (const ChannelRecord::Channel& channel : record.channels) {
        if (channel.previous == 0)
            continue;
        out << "channel " << channel.name << ": version " << channel.version << " to "
            << QString::number(channel.share / 10.0) << " % of installations"
            << (channel.halted ? " (halted)" : "") << ", version " << channel.previous << " to the others\n";
    }
    out.flush();
    return report(maker.verdicts(), false);
}

int ReleaseCommandLine::signChannels(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption outputOption(QStringLiteral("output"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption typeOption(QStringLiteral("type"), QString(), QStringLiteral("TYPE"));
    parser.addOptions({ outputOption, keyOption, typeOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(SignChannelsHelp).arg(program, InstallationLayout::defaultUpdateType());
        out.flush();
        return Success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("sign-channels takes no positional arguments"));
    if (parser.value(outputOption).isEmpty() || parser.values(keyOption).size() != 1)
        return usage(QStringLiteral("sign-channels needs --output DIR and one --key FILE"));
    const QString type
        = parser.isSet(typeOption) ? parser.value(typeOption) : InstallationLayout::defaultUpdateType();
    if (!ReleasePublisher::isValidUpdateType(type))
        return usage(QStringLiteral("invalid update type \"%1\"").arg(type));
    const Ed25519Key key = Ed25519Key::readPrivatePem(parser.value(keyOption), &problem);
    if (!key.isValid())
        return failure(problem);
    ChannelRecordCosigner cosigner(parser.value(outputOption), type);
    const ChannelRecordCosigner::Result result = cosigner.sign(key);
    for (const QString& warning : cosigner.warnings())
        err << program << ": warning: " << warning << "\n";
    err.flush();
    if (result == ChannelRecordCosigner::Result::Refused)
        return failure(cosigner.errorString());
    const ChannelRecord& record = cosigner.record();
    out << cosigner.recordPath(record.format) << ": serial " << record.serial << ", expires "
        << QDateTime::fromSecsSinceEpoch(record.expires, QTimeZone::utc()).toString(Qt::ISODate) << "\n";
    for (const ChannelRecord::Channel& channel : record.channels)
        out << "  " << channel.name << " " << channel.version << " \"" << channel.label << "\"\n";
    const QString hex = QString::fromLatin1(key.publicKey().toHex());
    if (result == ChannelRecordCosigner::Result::AlreadySigned)
        out << "key " << hex << " has signed it already; nothing changed\n";
    else
        out << "checked and signed with key " << hex << "; " << record.signatures.size()
            << (record.signatures.size() == 1 ? " signature\n" : " signatures\n");
    out.flush();
    return Success;
}

int ReleaseCommandLine::sign(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption outputOption(QStringLiteral("output"), QString(), QStringLiteral("SIG"));
    parser.addOptions({ keyOption, outputOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(SignHelp).arg(program);
        out.flush();
        return Success;
    }
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("sign takes exactly one FILE"));
    if (parser.value(keyOption).isEmpty())
        return usage(QStringLiteral("sign needs --key FILE"));
    const QString path = parser.positionalArguments().first();
    const QString signaturePath
        = parser.isSet(outputOption) ? parser.value(outputOption) : path + QStringLiteral(".sig");

    ReleaseKey key;
    if (!key.loadPrivate(parser.value(keyOption), &problem))
        return failure(problem);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray content = file.readAll();
    QByteArray signature;
    if (!key.sign(content, &signature, &problem))
        return failure(problem);
    QFile output(signaturePath);
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || output.write(signature) != signature.size() || !output.flush())
        return failure(QStringLiteral("cannot write %1: %2").arg(signaturePath, output.errorString()));
    out << "signed " << path << " -> " << signaturePath << "\n";
    out.flush();
    return Success;
}

int ReleaseCommandLine::verify(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption publicKeyOption(QStringLiteral("public-key"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption signatureOption(QStringLiteral("signature"), QString(), QStringLiteral("SIG"));
    parser.addOptions({ publicKeyOption, signatureOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(VerifyHelp).arg(program);
        out.flush();
        return Success;
    }
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("verify takes exactly one FILE"));
    const QString path = parser.positionalArguments().first();
    const QString signaturePath
        = parser.isSet(signatureOption) ? parser.value(signatureOption) : path + QStringLiteral(".sig");

    ReleaseKey key;
    const bool loaded = parser.isSet(publicKeyOption)
        ? key.loadPublic(parser.value(publicKeyOption), &problem)
        : key.loadBuiltIn(&problem);
    if (!loaded)
        return failure(problem);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    QFile signatureFile(signaturePath);
    if (!signatureFile.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(signaturePath, signatureFile.errorString()));
    if (!key.verify(file.readAll(), signatureFile.readAll())) {
        out << path << ": signature NOT valid\n";
        out.flush();
        return Failure;
    }
    out << path << ": signature valid\n";
    out.flush();
    return Success;
}

int ReleaseCommandLine::checkMirror(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption typeOption(QStringLiteral("type"), QString(), QStringLiteral("TYPE"));
    const QCommandLineOption deepOption(QStringLiteral("deep"));
    const QCommandLineOption publicKeyOption(QStringLiteral("public-key"), QString(), QStringLiteral("FILE"));
    parser.addOptions({ typeOption, deepOption, publicKeyOption });
    QString problem;
    if (!parse(parser, args, &problem))
        return usage(problem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromLatin1(CheckMirrorHelp).arg(program, InstallationLayout::defaultUpdateType());
        out.flush();
        return Success;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return usage(QStringLiteral("check-mirror takes a mirror URL and a VERSION"));
    MirrorCheck::Options options;
    options.mirrorUrl = positional.at(0);
    const QUrl url(options.mirrorUrl, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return usage(QStringLiteral("\"%1\" is not an http:// or https:// URL").arg(options.mirrorUrl));
    bool ok = false;
    options.version = positional.at(1).toInt(&ok);
    if (!ok || options.version <= 0)
        return usage(
            QStringLiteral("VERSION takes a whole number above 0, not \"%1\"").arg(positional.at(1)));
    options.updateType
        = parser.isSet(typeOption) ? parser.value(typeOption) : InstallationLayout::defaultUpdateType();
    if (!ReleasePublisher::isValidUpdateType(options.updateType))
        return usage(QStringLiteral("invalid update type \"%1\"").arg(options.updateType));
    options.deep = parser.isSet(deepOption);
    ReleaseKey key;
    const bool loaded = parser.isSet(publicKeyOption)
        ? key.loadPublic(parser.value(publicKeyOption), &problem)
        : key.loadBuiltIn(&problem);
    if (!loaded)
        return usage(problem);

    TransferEngine transfers;
    MirrorCheck check(&transfers, options, key);
    QObject::connect(&check, &MirrorCheck::problem, &check, [this](const QString& line) {
        // What a mirror served, quoted.
        out << OutsideText::escaped(line) << "\n";
        out.flush();
    });
    QEventLoop loop;
    QObject::connect(&check, &MirrorCheck::finished, &loop, &QEventLoop::quit);
    check.start();
    if (!check.isFinished())
        loop.exec();
    out << "checked " << check.filesChecked() << " files and " << check.patchesChecked() << " patches"
        << (check.packsChecked() > 0 ? QStringLiteral(" and %1 chunk packs").arg(check.packsChecked())
                                     : QString())
        << ": " << check.problemCount() << (check.problemCount() == 1 ? " problem\n" : " problems\n");
    out.flush();
    return check.problemCount() == 0 ? Success : Failure;
}
