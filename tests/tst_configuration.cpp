#include "app/configuration.h"
#include "app/logfile.h"
#include "app/versioncheckreport.h"
#include "transfer/transferengine.h"
#include "update/channelrecordfetch.h"
#include "manifest/releasemarker.h"
#include "update/installationrecord.h"
#include "update/sessiondirectory.h"
#include "update/stagedrollout.h"
#include "channelrecordmaker.h"
#include "demosigner.h"
#include "filetree.h"
#include "httptestserver.h"
#include "udptestpeer.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QByteArray ServerVersions("100#1.0.0,200#2.0.0,300#3.0.0");
const QByteArray ServerNews("server news");
const QString DefaultType = QStringLiteral("client_linux_amd64");

void writeIni(const QString& dir, const QString& contents)
{
    if (!contents.isNull())
        QVERIFY(FileTree::write(QDir(dir).absoluteFilePath(QStringLiteral("update.ini")), contents.toUtf8()));
}

// A channel record whose stable channel offers `version` and whose beta
// channel offers the one after, signed with demo key 1 into the mirror root
// `root`, where those releases are published; the text of `format`, or
// nothing when it could not be made.
QByteArray makeChannelRecord(
    const QString& root, int version, ChannelRecordMaker::Options options = {}, int format = 2)
{
    for (const int published : { version - 1, version, version + 1 }) {
        if (!FileTree::write(QStringLiteral("%1/%2/%3.ini").arg(root).arg(published).arg(DefaultType), ""))
            return QByteArray();
    }
    options.outputDir = root;
    options.updateType = DefaultType;
    if (options.channels.isEmpty())
        options.channels = { { "stable", version, "Four" }, { "beta", version + 1, "Five" } };
    QString error;
    std::vector<Ed25519Key> keys;
    keys.push_back(Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(1), &error));
    ChannelRecordMaker maker(options, std::move(keys));
    if (!maker.make()) {
        qWarning().noquote() << maker.errorString();
        return QByteArray();
    }
    return FileTree::read(maker.recordPath(format));
}

// The first rollout id from 1 on whose place for version 13 is below
// `share`, or not.
quint64 rolloutIdPlaced(bool inside, int share)
{
    quint64 id = 1;
    while ((StagedRollout::place(id, DefaultType, 13) < share) != inside)
        ++id;
    return id;
}

QStringList fatalMessages(const QSignalSpy& spy)
{
    QStringList messages;
    for (const QList<QVariant>& arguments : spy)
        messages << arguments.at(0).toString();
    return messages;
}

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void offerChoice_data();
    void offerChoice();
    void rolloutShare_data();
    void rolloutShare();
    void rolloutChoice_data();
    void rolloutChoice();
    void firstRunFloor_data();
    void firstRunFloor();
    void channelRecordFetchEnds_data();
    void channelRecordFetchEnds();
    void versionCheck_data();
    void versionCheck();
    void updateSettings_data();
    void updateSettings();
    void updateServerSetting_data();
    void updateServerSetting();
    void logFile_data();
    void logFile();
    void logDirectoryRule_data();
    void logDirectoryRule();
    void logRotation_data();
    void logRotation();
    void tempDirIsPrivate();
    void tempDirSkipsTakenNames_data();
    void tempDirSkipsTakenNames();
    void tempDirFailures();
    void tempDirBase_data();
    void tempDirBase();
};

void TestConfiguration::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QByteArray>("versions"); // empty: the server stays silent and the user aborts
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("noUserMode");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("news");
    QTest::addColumn<QStringList>("fatal");
    QTest::addColumn<int>("queries");

    const QString none;
    const QString beta = QStringLiteral("[Channel]\nbeta=true\n");
    const QString alpha987 = QStringLiteral("[Channel]\nalpha=http://alpha.example/\nalphaRevno=987\n");
    const QString alpha0
        = QStringLiteral("[Channel]\nalpha=http://alpha.example/\nalphaRevno=0\nbeta=true\n");
    const QString server = QString::fromLatin1(ServerNews);
    const QStringList noError;

    QTest::newRow("no arguments") << QStringList() << none << ServerVersions << true << 0 << DefaultType
                                  << 100 << "1.0.0" << server << noError << 1;
    QTest::newRow("type and version") << QStringList({ "client_linux_x86", "123" }) << none << ServerVersions
                                      << true << 0 << "client_linux_x86" << 123 << ""
                                      << "" << noError << 0;
    QTest::newRow("nouser alone") << QStringList({ "--nouser" }) << none << ServerVersions << true << 1
                                  << DefaultType << 100 << "1.0.0" << server << noError << 1;
    QTest::newRow("nouser ignores one argument")
        << QStringList({ "--nouser", "client_linux_x86" }) << none << ServerVersions << true << 1
        << DefaultType << 100 << "1.0.0" << server << noError << 1;
    QTest::newRow("nouser type version") << QStringList({ "--nouser", "client_linux_x86", "12345" }) << none
                                         << ServerVersions << true << 1 << "client_linux_x86" << 12345 << ""
                                         << "" << noError << 0;
    QTest::newRow("nouser with label")
        << QStringList({ "--nouser", "client_linux_x86", "5", "3.0 final" }) << none << ServerVersions << true
        << 1 << "client_linux_x86" << 5 << "3.0 final"
        << "" << noError << 0;
    QTest::newRow("nouser hash keeps label empty")
        << QStringList({ "--nouser", "client_linux_x86", "5", "#", "Hello" }) << none << ServerVersions
        << true << 1 << "client_linux_x86" << 5 << ""
        << "Hello" << noError << 0;
    QTest::newRow("nouser ignores arguments after news")
        << QStringList({ "--nouser", "client_linux_x86", "5", "3.0", "Hello", "extra" }) << none
        << ServerVersions << true << 1 << "client_linux_x86" << 5 << "3.0"
        << "Hello" << noError << 0;
    QTest::newRow("one other argument")
        << QStringList({ "client_linux_x86" }) << none << ServerVersions << true << 0 << DefaultType << 100
        << "1.0.0" << server << noError << 1;
    QTest::newRow("three arguments without nouser")
        << QStringList({ "a", "7", "c" }) << none << ServerVersions << true << 0 << DefaultType << 100
        << "1.0.0" << server << noError << 1;
    QTest::newRow("nouser is case-sensitive")
        << QStringList({ "--NOUSER", "client_linux_x86", "5" }) << none << ServerVersions << true << 0
        << DefaultType << 100 << "1.0.0" << server << noError << 1;
    QTest::newRow("invalid version") << QStringList({ "client_linux_x86", "12a" }) << none << ServerVersions
                                     << false << 0 << "client_linux_x86" << 0 << ""
                                     << "" << QStringList({ "Invalid version nr (12a)" }) << 0;
    QTest::newRow("nouser invalid version") << QStringList({ "--nouser", "client_linux_amd64", "12a" })
                                            << none << ServerVersions << false << 0 << DefaultType << 0 << ""
                                            << "" << QStringList({ "Invalid version nr (12a)" }) << 0;
    QTest::newRow("version 0 stays 0") << QStringList({ "client_linux_x86", "0" }) << none << ServerVersions
                                       << true << 0 << "client_linux_x86" << 0 << ""
                                       << "" << noError << 0;
    QTest::newRow("nouser version 0 asks the server")
        << QStringList({ "--nouser", "client_linux_x86", "0", "#", "own news" }) << none << ServerVersions
        << true << 1 << "client_linux_x86" << 100 << "1.0.0" << server << noError << 1;
    QTest::newRow("beta channel") << QStringList() << beta << ServerVersions << true << 0 << DefaultType
                                  << 200 << "2.0.0" << server << noError << 1;
    QTest::newRow("alpha revision wins") << QStringList({ "--nouser", "client_linux_x86", "5" }) << alpha987
                                         << ServerVersions << true << 1 << "client_linux_x86" << 987 << ""
                                         << "" << noError << 0;
    QTest::newRow("alpha revision wins over invalid version")
        << QStringList({ "client_linux_x86", "12a" }) << alpha987 << ServerVersions << true << 0
        << "client_linux_x86" << 987 << ""
        << "" << noError << 0;
    QTest::newRow("alpha revision 0 asks the server")
        << QStringList() << alpha0 << ServerVersions << true << 0 << DefaultType << 300 << "3.0.0" << server
        << noError << 1;
    QTest::newRow("alpha missing on server")
        << QStringList() << alpha0 << QByteArray("100#1.0.0,200#2.0.0") << false << 0 << DefaultType << 0
        << "" << server << noError << 1;
    QTest::newRow("server version not a number")
        << QStringList() << none << QByteArray("abc#1.0") << false << 0 << DefaultType << 0 << "" << server
        << QStringList({ "Update server returned invalid version nr (abc)" }) << 1;
    QTest::newRow("server version 0")
        << QStringList() << none << QByteArray("0#1.0") << false << 0 << DefaultType << 0 << "" << server
        << QStringList({ "Update server returned invalid version nr (0)" }) << 1;
    QTest::newRow("server version below 0")
        << QStringList() << none << QByteArray("-12#1.0") << false << 0 << DefaultType << 0 << "" << server
        << QStringList({ "Update server returned invalid version nr (-12)" }) << 1;
    QTest::newRow("user aborts query")
        << QStringList() << none << QByteArray() << false << 0 << DefaultType << 0 << ""
        << "" << noError << 1;
    QTest::newRow("user aborts nouser query")
        << QStringList({ "--nouser" }) << none << QByteArray() << false << 0 << DefaultType << 0 << ""
        << "" << noError << 1;
}

void TestConfiguration::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, ini);
    QFETCH(QByteArray, versions);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeIni(dir.path(), ini);

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    const bool silent = versions.isEmpty();
    if (!silent)
        peer.setReplies({ versions, ServerNews });

    Configuration config;
    config.setSettingsDirectory(dir.path());
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), silent ? 200 : 3000);
    int prompts = 0;
    config.setRetryPrompt([&prompts] {
        ++prompts;
        return false;
    });
    QSignalSpy fatal(&config, &Configuration::fatalError);

    QTEST(config.parseCommandLineOptions(QStringList({ "update" }) + args), "ok");
    QTEST(config.noUserMode, "noUserMode");
    QTEST(config.updateTypeDesc.updateType, "type");
    QTEST(config.updateTypeDesc.version, "version");
    QTEST(config.updateTypeDesc.versionLabel, "label");
    QTEST(config.updateTypeDesc.news, "news");
    QTEST(fatalMessages(fatal), "fatal");
    QTEST(int(peer.received().count(QByteArray("3\0", 2))), "queries");
    QCOMPARE(prompts, silent ? 1 : 0);
}

void TestConfiguration::offerChoice_data()
{
    // The installation record (0: none) and the channel record's serial seen
    // before (-1: none).
    QTest::addColumn<int>("installed");
    QTest::addColumn<qint64>("seenSerial");
    QTest::addColumn<QString>("settings");
    // The update server's answer for every channel; the command line.
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("args");
    // The channel record on the mirror: "" none, else "valid", "expired",
    // "other type" or "tampered"; its stable version and serial.
    QTest::addColumn<QString>("record");
    QTest::addColumn<int>("recordVersion");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("declined");
    QTest::addColumn<QString>("freshness");
    QTest::addColumn<QString>("logged");

    const QString type = DefaultType;
    const QString none;
    const QString alpha2 = QStringLiteral("[Channel]\nalpha=http://127.0.0.1:9/\nalphaRevno=2\n");
    const QString unconfirmed = QStringLiteral("No signed release information confirms");
    const QString older
        = QStringLiteral("Offered version 1 of %1 is older than the installed version 3").arg(type);
    QTest::newRow("forged older answer") << 3 << qint64(-1) << none << 1 << QStringList() << "" << 0
                                         << qint64(0) << 1 << true << unconfirmed << older;
    QTest::newRow("forged older answer, nothing installed yet")
        << 0 << qint64(-1) << none << 1 << QStringList() << "" << 0 << qint64(0) << 1 << false << unconfirmed
        << "No mirror has a channel record";
    QTest::newRow("the installed version again") << 3 << qint64(-1) << none << 3 << QStringList() << "" << 0
                                                 << qint64(0) << 3 << false << unconfirmed << "";
    QTest::newRow("another type installed") << 3 << qint64(-1) << none << 1 << QStringList() << "" << 0
                                            << qint64(0) << 1 << false << unconfirmed << "";
    QTest::newRow("older version named on the command line")
        << 3 << qint64(-1) << none << 5 << QStringList({ type, "1" }) << "" << 0 << qint64(0) << 1 << false
        << ""
        << "";
    QTest::newRow("older alpha revision")
        << 3 << qint64(-1) << alpha2 << 5 << QStringList() << "" << 0 << qint64(0) << 2 << true << ""
        << QStringLiteral("Offered version 2 of %1 is older").arg(type);
    QTest::newRow("record newer than a forged answer")
        << 3 << qint64(-1) << none << 1 << QStringList() << "valid" << 4 << qint64(7) << 4 << false << ""
        << "Channel record offers version 4 where the update server offers 1; taking version 4";
    QTest::newRow("record older than the answer")
        << 0 << qint64(-1) << none << 5 << QStringList() << "valid" << 4 << qint64(7) << 4 << false << ""
        << "Channel record offers version 4 where the update server offers 5; taking version 4";
    QTest::newRow("record of the serial seen before")
        << 0 << qint64(7) << none << 1 << QStringList() << "valid" << 4 << qint64(7) << 4 << false << ""
        << "";
    QTest::newRow("replayed record") << 0 << qint64(8) << none << 1 << QStringList() << "valid" << 4
                                     << qint64(7) << 1 << false << unconfirmed
                                     << "is a replay (serial 7, below 8 seen before); ignoring it";
    QTest::newRow("expired record") << 0 << qint64(-1) << none << 1 << QStringList() << "expired" << 4
                                    << qint64(7) << 4 << false << "is 10 days old"
                                    << "Channel record serial 7 expired 3 days ago";
    QTest::newRow("record of another type")
        << 0 << qint64(-1) << none << 1 << QStringList() << "other type" << 4 << qint64(7) << 1 << false
        << unconfirmed << "is for client_linux_i386; ignoring it";
    QTest::newRow("tampered record")
        << 0 << qint64(-1) << none << 1 << QStringList() << "tampered" << 4 << qint64(7) << 1 << false
        << unconfirmed << "has 0 valid signatures of release keys where 1 are needed; ignoring it";
    QTest::newRow("signed by one key where two are needed")
        << 0 << qint64(5) << none << 1 << QStringList() << "one of two keys" << 4 << qint64(7) << 1 << false
        << unconfirmed << "has 1 valid signatures of release keys where 2 are needed; ignoring it";
    QTest::newRow("record equal to the answer")
        << 0 << qint64(-1) << none << 4 << QStringList() << "valid" << 4 << qint64(7) << 4 << false << ""
        << "";
    QTest::newRow("record of the first format only") << 0 << qint64(-1) << none << 5 << QStringList()
                                                     << "first format" << 4 << qint64(7) << 4 << false << ""
                                                     << "Channel record client_linux_amd64.channels serial 7";
    QTest::newRow("beta channel, record newer than a forged answer")
        << 0 << qint64(-1) << QStringLiteral("[Channel]\nbeta=true\n") << 1 << QStringList() << "valid" << 4
        << qint64(7) << 5 << false << ""
        << "Channel record offers version 5 where the update server offers 1; taking version 5";
    QTest::newRow("record names no channel of the player's")
        << 0 << qint64(-1) << QStringLiteral("[Channel]\nalpha=http://127.0.0.1:9/\nalphaRevno=0\n") << 6
        << QStringList() << "valid" << 4 << qint64(7) << 6 << false << unconfirmed
        << "Channel record names no alpha channel";
    QTest::newRow("server silent, current record")
        << 0 << qint64(-1) << none << 0 << QStringList() << "valid" << 4 << qint64(7) << 4 << false << ""
        << "The update server did not answer; the channel record offers version 4";
    QTest::newRow("server silent, expired record")
        << 0 << qint64(-1) << none << 0 << QStringList() << "expired" << 4 << qint64(7) << 0 << false << ""
        << "";
    QTest::newRow("server silent, no record")
        << 0 << qint64(-1) << none << 0 << QStringList() << "" << 4 << qint64(7) << 0 << false << ""
        << "";
    QTest::newRow("expired record older than the answer")
        << 0 << qint64(-1) << none << 5 << QStringList() << "expired" << 4 << qint64(7) << 5 << false
        << "is 10 days old"
        << "Update server offers version 5, newer than the channel record's 4";
    QTest::newRow("version named beside a current record")
        << 3 << qint64(-1) << none << 5 << QStringList({ type, "2" }) << "valid" << 4 << qint64(7) << 2
        << false << ""
        << "";
    // A check may run beside an update: it writes nothing.
    QTest::newRow("a check takes a newer record")
        << 0 << qint64(5) << none << 1 << QStringList({ "--check" }) << "valid" << 4 << qint64(7) << 4
        << false << ""
        << "Channel record offers version 4 where the update server offers 1; taking version 4";
}

void TestConfiguration::offerChoice()
{
    QFETCH(int, installed);
    QFETCH(qint64, seenSerial);
    QFETCH(QString, settings);
    QFETCH(int, answer);
    QFETCH(QStringList, args);
    QFETCH(QString, record);
    QFETCH(int, recordVersion);
    QFETCH(qint64, serial);
    QFETCH(QString, logged);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const InstallationLayout layout(dir.path(), QString());
    writeIni(dir.path(), settings);
    const QString installedType = QTest::currentDataTag() == QByteArray("another type installed")
        ? QStringLiteral("client_linux_i386")
        : DefaultType;
    if (installed > 0)
        QVERIFY(InstallationRecord::write(layout, { installedType, installed, 1000 }));
    if (seenSerial >= 0)
        QVERIFY(InstallationRecord::setChannelSerial(layout, DefaultType, seenSerial));

    HttpTestServer mirror;
    QVERIFY(mirror.listen());
    QVERIFY(FileTree::write(layout.mirrorsFile(),
        QStringLiteral("[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=%1/root\n")
            .arg(mirror.baseUrl())
            .toUtf8()));
    if (!record.isEmpty()) {
        ChannelRecordMaker::Options options;
        options.serial = serial;
        if (record == "expired") {
            options.now = QDateTime::currentSecsSinceEpoch() - 10 * 86400 - 60;
            options.validSeconds = 7 * 86400;
        }
        const int format = record == "first format" ? 1 : 2;
        QByteArray text = makeChannelRecord(dir.filePath("root"), recordVersion, options, format);
        QVERIFY(!text.isEmpty());
        if (record == "other type")
            text.replace("type\t" + DefaultType.toUtf8(), "type\tclient_linux_i386");
        else if (record == "tampered")
            text.replace("stable\t4", "stable\t9");
        mirror.setResponse("/root/" + ChannelRecord::fileName(DefaultType, format).toUtf8(),
            HttpTestServer::Response::ok(text));
    }
    const QByteArray settingsBefore = FileTree::read(layout.settingsFile());

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    const QByteArray answered = QByteArray::number(answer);
    if (answer > 0)
        peer.setReplies({ answered + "#v," + answered + "#v," + answered + "#v", ServerNews });
    Configuration config(layout);
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), answer > 0 ? 3000 : 200);
    ReleaseTrust trust;
    QString error;
    trust.keys = { Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(1), &error).publicKey() };
    if (record == "one of two keys") {
        trust.keys << Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(2), &error).publicKey();
        trust.threshold = 2;
    }
    config.setTrust(trust);
    QStringList messages;
    connect(&config, &Configuration::message, this, [&messages](const QString& line) { messages << line; });

    QFETCH(int, version);
    QCOMPARE(config.parseCommandLineOptions(QStringList({ "update" }) + args), version > 0);
    QCOMPARE(config.updateTypeDesc.version, version);
    QTEST(!config.declinedOffer.isEmpty(), "declined");
    QFETCH(QString, freshness);
    QVERIFY2(freshness.isEmpty() ? config.freshnessNote.isEmpty() : config.freshnessNote.contains(freshness),
        qPrintable(config.freshnessNote));
    QVERIFY2(logged.isEmpty() || !messages.filter(logged).isEmpty(), qPrintable(messages.join('\n')));
    // A record taken raises the serial below which later ones are replays.
    // A version named needs no record.
    const bool check = args.contains("--check");
    const bool taken = (record == "valid" || record == "expired" || record == "first format")
        && serial >= seenSerial && !check && args.size() != 2;
    QCOMPARE(InstallationRecord::channelSerial(layout, DefaultType), taken ? serial : seenSerial);
    if (check)
        QCOMPARE(FileTree::read(layout.settingsFile()), settingsBefore);
}

void TestConfiguration::rolloutShare_data()
{
    // Per mille.
    QTest::addColumn<int>("share");
    QTest::newRow("1 %") << 10;
    QTest::newRow("10 %") << 100;
    QTest::newRow("50 %") << 500;
}

void TestConfiguration::rolloutShare()
{
    QFETCH(int, share);
    ChannelRecord::Channel channel("stable", 13, "1.13");
    channel.previous = 12;
    channel.share = share;
    ChannelRecord::Channel raised = channel;
    raised.share = share + 1;
    constexpr int Installations = 100000;
    int taken = 0;
    for (quint64 i = 0; i < Installations; ++i) {
        // Ids as spread as random ones, the same every run.
        const quint64 id = (i + 1) * 0x9e3779b97f4a7c15ULL;
        const bool gets = StagedRollout::pick(channel, DefaultType, id, 12).version == 13;
        taken += gets ? 1 : 0;
        // A raised share never takes the new version back.
        QVERIFY(!gets || StagedRollout::pick(raised, DefaultType, id, 12).version == 13);
    }
    QVERIFY2(qAbs(taken * 100.0 / Installations - share / 10.0) < 0.5, qPrintable(QString::number(taken)));
}

void TestConfiguration::rolloutChoice_data()
{
    // The installed version of stable (13 new, 12 previous), the share per
    // mille and halt of its rollout, where the installation's id places it
    // ("inside", "outside" the share, "none": no id kept yet).
    QTest::addColumn<int>("installed");
    QTest::addColumn<int>("share");
    QTest::addColumn<bool>("halted");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("reason"); // why it is held back; empty: it is not
    QTest::addColumn<bool>("confirmed");

    const QStringList none;
    QTest::newRow("inside the share") << 12 << 100 << false << "inside" << none << 13 << "" << true;
    QTest::newRow("outside the share")
        << 12 << 100 << false << "outside" << none << 12 << "staged rollout: 10 % so far" << true;
    QTest::newRow("share 0") << 12 << 0 << false << "outside" << none << 12 << "staged rollout: 0 % so far"
                             << true;
    QTest::newRow("whole share") << 12 << 1000 << false << "inside" << none << 13 << "" << true;
    QTest::newRow("halted") << 12 << 100 << true << "inside" << none << 12 << "halted" << true;
    QTest::newRow("halted, the new version installed")
        << 13 << 100 << true << "outside" << none << 13 << "" << true;
    QTest::newRow("outside the share, the new version installed")
        << 13 << 100 << false << "outside" << none << 13 << "" << true;
    QTest::newRow("named version overrides")
        << 12 << 100 << true << "outside" << QStringList({ DefaultType, "13" }) << 13 << "" << true;
    QTest::newRow("first run draws its place") << 12 << 500 << false << "none" << none << -1 << "" << true;
    QTest::newRow("a check without a place") << 12 << 500 << false << "none" << QStringList({ "--check" })
                                             << 12 << "staged rollout: place not drawn yet" << false;
}

void TestConfiguration::rolloutChoice()
{
    QFETCH(int, installed);
    QFETCH(int, share);
    QFETCH(bool, halted);
    QFETCH(QString, place);
    QFETCH(QStringList, args);
    QFETCH(int, version);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const InstallationLayout layout(dir.path(), QString());
    QVERIFY(InstallationRecord::write(layout, { DefaultType, installed, 1000 }));
    if (place != "none")
        writeIni(dir.path(),
            FileTree::read(layout.settingsFile())
                + QStringLiteral("[rollout]\nid=%1\n")
                      .arg(rolloutIdPlaced(place == "inside", share), 16, 16, QLatin1Char('0')));
    HttpTestServer mirror;
    QVERIFY(mirror.listen());
    QVERIFY(FileTree::write(layout.mirrorsFile(),
        QStringLiteral("[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=%1/root\n")
            .arg(mirror.baseUrl())
            .toUtf8()));
    ChannelRecordMaker::Options options;
    options.previous = { { "stable", 12, "1.12" } };
    options.shares = { { "stable", share } };
    if (halted)
        options.halted = QStringList({ "stable" });
    const QByteArray text = makeChannelRecord(dir.filePath("root"), 13, options);
    QVERIFY(!text.isEmpty());
    mirror.setResponse(
        "/root/" + ChannelRecord::fileName(DefaultType, 2).toUtf8(), HttpTestServer::Response::ok(text));
    const QByteArray settingsBefore = FileTree::read(layout.settingsFile());

    // The update server offers the new version to everyone.
    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    peer.setReplies({ "13#v,13#v,13#v", ServerNews });
    Configuration config(layout);
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), 3000);
    ReleaseTrust trust;
    QString error;
    trust.keys = { Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(1), &error).publicKey() };
    config.setTrust(trust);
    QVERIFY(config.parseCommandLineOptions(QStringList({ "update" }) + args));

    // The place drawn is kept, and decides.
    const quint64 id = InstallationRecord::rolloutId(layout, false);
    QCOMPARE(id == 0, args.contains("--check") && place == "none");
    QFETCH(QString, reason);
    if (version < 0) {
        const bool inside = StagedRollout::place(id, DefaultType, 13) < share;
        version = inside ? 13 : 12;
        reason = inside ? QString() : QStringLiteral("staged rollout: 50 % so far");
    }
    QCOMPARE(config.updateTypeDesc.version, version);
    QCOMPARE(config.offer.heldBackReason(), reason);
    QTEST(config.offer.confirmed, "confirmed");
    if (args.contains("--check"))
        QCOMPARE(FileTree::read(layout.settingsFile()), settingsBefore);
}

void TestConfiguration::firstRunFloor_data()
{
    // The installation record's version (0: none) and the release marker's
    // bytes (empty: no marker); what the installation is taken to hold, and
    // whether the server's answer of version 1 is declined.
    QTest::addColumn<int>("recorded");
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("declined");

    const QByteArray three = ReleaseMarker::text({ DefaultType, 3 });
    QTest::newRow("marker, no record") << 0 << three << DefaultType << 3 << true;
    QTest::newRow("no marker, no record") << 0 << QByteArray() << QString() << 0 << false;
    QTest::newRow("the record wins") << 2 << three << DefaultType << 2 << true;
    QTest::newRow("marker of another type")
        << 0 << ReleaseMarker::text({ "client_linux_i386", 3 }) << "client_linux_i386" << 3 << false;
    QTest::newRow("marker of version 1")
        << 0 << ReleaseMarker::text({ DefaultType, 1 }) << DefaultType << 1 << false;
    QTest::newRow("garbage") << 0
                             << QByteArray("\x7f"
                                           "ELF\n")
                             << QString() << 0 << false;
    QTest::newRow("a space after the version")
        << 0 << QByteArray(three).replace("3\n", "3 \n") << QString() << 0 << false;
    QTest::newRow("no final line break") << 0 << three.chopped(1) << QString() << 0 << false;
    QTest::newRow("version 0") << 0 << QByteArray(three).replace("\t3", "\t0") << QString() << 0 << false;
}

void TestConfiguration::firstRunFloor()
{
    QFETCH(int, recorded);
    QFETCH(QByteArray, marker);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const InstallationLayout layout(dir.path(), QString());
    if (recorded > 0)
        QVERIFY(InstallationRecord::write(layout, { DefaultType, recorded, 1000 }));
    if (!marker.isEmpty())
        QVERIFY(FileTree::write(layout.installedPath(ReleaseMarker::fileName()), marker));
    const InstallationRecord installed = InstallationRecord::installed(layout);
    QTEST(installed.updateType, "type");
    QTEST(installed.version, "version");

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    peer.setReplies({ "1#v,1#v,1#v", ServerNews });
    Configuration config(layout);
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), 3000);
    // No channel record to fetch.
    config.setTrust(ReleaseTrust());
    QVERIFY(config.parseCommandLineOptions(QStringList({ "update" })));
    QTEST(!config.declinedOffer.isEmpty(), "declined");
}

void TestConfiguration::channelRecordFetchEnds_data()
{
    // How the only mirror answers: silent after the headers, a trickle that
    // keeps the stall rule content but would need minutes for the record,
    // or at once.
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    QTest::newRow("silent") << "silent" << int(ChannelRecordFetch::Unusable);
    QTest::newRow("trickle") << "trickle" << int(ChannelRecordFetch::Unusable);
    QTest::newRow("at once") << "" << int(ChannelRecordFetch::Accepted);
}

void TestConfiguration::channelRecordFetchEnds()
{
    QFETCH(QString, answer);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray text = makeChannelRecord(dir.filePath("root"), 3);
    QVERIFY(!text.isEmpty());
    HttpTestServer mirror;
    QVERIFY(mirror.listen());
    HttpTestServer::Response response = HttpTestServer::Response::ok(text);
    if (answer == "silent") {
        response.stallAfter = 0;
    } else if (answer == "trickle") {
        // As long as a record may be.
        response.body += QByteArray(ChannelRecord::MAX_SIZE - text.size(), '\n');
        response.dripChunk = 100;
        response.dripIntervalMs = 10;
    }
    mirror.setResponse("/root/" + ChannelRecord::fileName(DefaultType).toUtf8(), response);
    const QString mirrorsIni = dir.filePath("mirrors.ini");
    QVERIFY(FileTree::write(mirrorsIni,
        QStringLiteral("[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=%1/root\n")
            .arg(mirror.baseUrl())
            .toUtf8()));

    TransferEngine transfers;
    ReleaseTrust trust;
    QString error;
    trust.keys = { Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(1), &error).publicKey() };
    ChannelRecordFetch fetch(&transfers, trust);
    // A second of the fetch's clock lasts 20 ms here: the deadline of 30
    // comes long before a trickle of 100 bytes in 10 ms delivers 64 KiB.
    fetch.setTickMs(20);
    QStringList messages;
    connect(
        &fetch, &ChannelRecordFetch::message, this, [&messages](const QString& line) { messages << line; });
    QTEST(int(fetch.fetch(mirrorsIni, DefaultType, -1)), "outcome");
    if (!answer.isEmpty())
        QVERIFY2(!messages.filter(QRegularExpression("not fetched within 30 seconds|could not be fetched"))
                      .isEmpty(),
            qPrintable(messages.join('\n')));
}

void TestConfiguration::versionCheck_data()
{
    QTest::addColumn<QString>("installedType");
    QTest::addColumn<int>("installed"); // 0: no record
    QTest::addColumn<int>("offered"); // 0: the server did not answer
    QTest::addColumn<int>("unfinished"); // the session record's version; 0: none
    QTest::addColumn<bool>("expired");
    // Whether a current signed record names the offer.
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("result");

    const QString type = DefaultType;
    QTest::newRow("same version") << type << 3 << 3 << 0 << false << true << 0 << "Result: up to date";
    QTest::newRow("same version, nothing signed confirms it")
        << type << 3 << 3 << 0 << false << false << 3 << "nothing signed\nResult: could not tell";
    QTest::newRow("newer offered") << type << 3 << 4 << 0 << false << true << 100
                                   << "Result: an update is available";
    QTest::newRow("newer offered, nothing signed confirms it")
        << type << 3 << 4 << 0 << false << false << 3 << "Result: could not tell";
    // Declined by a run; nothing to do.
    QTest::newRow("older offered") << type << 3 << 2 << 0 << false << true << 0 << "Result: up to date";
    QTest::newRow("another type installed")
        << "client_linux_i386" << 3 << 3 << 0 << false << true << 100 << "Result: an update is available";
    QTest::newRow("nothing recorded") << type << 0 << 3 << 0 << false << true << 3 << "Installed: not known";
    QTest::newRow("no answer") << type << 3 << 0 << 0 << false << false << 3 << "Offered: not known";
    // A killed run of the recorded version leaves files of both.
    QTest::newRow("a run of the same version not finished")
        << type << 3 << 3 << 3 << false << true << 100 << "An update to version 3 began and has not finished";
    QTest::newRow("a run not finished, the server silent")
        << type << 3 << 0 << 4 << false << false << 100 << "An update to version 4 began";
    QTest::newRow("expired channel record") << type << 3 << 3 << 0 << true << false << 3
                                            << "Result: could not tell (the channel record has expired)";
    QTest::newRow("expired channel record, newer offered")
        << type << 3 << 4 << 0 << true << false << 3
        << "Result: could not tell (the channel record has expired)";
}

void TestConfiguration::versionCheck()
{
    QFETCH(QString, installedType);
    QFETCH(int, installed);
    QFETCH(int, offered);
    QFETCH(int, unfinished);
    QFETCH(bool, expired);
    QFETCH(bool, confirmed);
    UpdateTypeDesc offer;
    offer.updateType = DefaultType;
    offer.version = offered;
    // A label from the server cannot add a line of its own.
    offer.versionLabel = "x\nResult: up to date";
    OfferChoice::Offer choice;
    choice.version = offered;
    choice.confirmed = confirmed;
    if (!confirmed)
        choice.freshnessNote = "nothing signed";
    const VersionCheckReport report(
        installed > 0 ? InstallationRecord { installedType, installed, 0 } : InstallationRecord(), offer,
        choice, unfinished, expired);
    QTEST(int(report.code()), "code");
    QFETCH(QString, result);
    QVERIFY2(report.text().contains(result), qPrintable(report.text()));
    QVERIFY(offered == 0 || report.text().contains("(x\\x0aResult: up to date)\n"));
}

void TestConfiguration::updateSettings_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<int>("concurrency");
    QTest::addColumn<QString>("proxy");

    QTest::newRow("no file") << QString() << 6 << "";
    QTest::newRow("streams 0") << "[update]\nstreams=0\n" << 6 << "";
    QTest::newRow("streams negative") << "[update]\nstreams=-3\n" << 6 << "";
    QTest::newRow("streams a word") << "[update]\nstreams=many\n" << 6 << "";
    QTest::newRow("streams 50") << "[update]\nstreams=50\n" << 50 << "";
    QTest::newRow("proxy") << "[update]\nproxy=http://proxy.example:8080\n"
                           << 6 << "http://proxy.example:8080";
}

void TestConfiguration::updateSettings()
{
    QFETCH(QString, ini);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeIni(dir.path(), ini);

    Configuration config;
    config.setSettingsDirectory(dir.path());
    QTEST(config.settings().downloadConcurrency, "concurrency");
    QTEST(config.settings().proxy, "proxy");
}

void TestConfiguration::updateServerSetting_data()
{
    // "@PORT": a UDP test peer's port.
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("unset") << "" << false << "" << 0;
    QTest::newRow("host") << "staging.example" << true << "staging.example" << 17384;
    QTest::newRow("host and port") << "staging.example:4000" << true << "staging.example" << 4000;
    QTest::newRow("IPv6 and port") << "[::1]:4000" << true << "::1" << 4000;
    QTest::newRow("port 0") << "staging.example:0" << false << "" << 0;
    QTest::newRow("port too large") << "staging.example:65536" << false << "" << 0;
    QTest::newRow("credentials") << "user@staging.example" << false << "" << 0;
    QTest::newRow("a path") << "staging.example/x" << false << "" << 0;
    QTest::newRow("the staging server answers") << "127.0.0.1:@PORT" << true << "127.0.0.1" << -1;
}

void TestConfiguration::updateServerSetting()
{
    QFETCH(QString, value);
    QFETCH(bool, usable);
    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    peer.setReplies({ "7#seven,7#seven,7#seven", ServerNews });
    value.replace("@PORT", QString::number(peer.port()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeIni(dir.path(), value.isEmpty() ? QString() : "[update]\nupdateServer=" + value + "\n");
    const UpdateSettings settings = UpdateSettings::read(dir.filePath("update.ini"));
    QString host;
    quint16 serverPort = 0;
    QCOMPARE(settings.updateServerAddress(&host, &serverPort, 17384), usable);
    // An unusable value stops the program before anything goes out.
    QCOMPARE(settings.problem().contains("updateServer"), !usable && !value.isEmpty());
    if (!usable)
        return;
    QTEST(host, "host");
    QFETCH(int, port);
    if (port < 0) {
        Configuration config(InstallationLayout(dir.path(), QString()));
        QVERIFY(config.parseCommandLineOptions({ "update" }));
        QCOMPARE(config.updateTypeDesc.version, 7);
        return;
    }
    QCOMPARE(int(serverPort), port);
}

void TestConfiguration::logFile_data()
{
    // What is at update.log before the run: nothing, an earlier log, a link
    // someone planted to a file of the user's.
    QTest::addColumn<QString>("before");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("mask");
    QTest::newRow("first run") << "" << qint64(100) << 022;
    QTest::newRow("first run, umask 000") << "" << qint64(100) << 0;
    QTest::newRow("an earlier run's log") << "log" << qint64(100) << 022;
    QTest::newRow("a planted link") << "link" << qint64(100) << 022;
    QTest::newRow("a run that logs without end") << "" << LogFile::MaxBytes + 4096 << 022;
}

void TestConfiguration::logFile()
{
    QFETCH(QString, before);
    QFETCH(qint64, bytes);
    QFETCH(int, mask);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logDir = dir.filePath("state/voxmeadow-update");
    const QString victim = dir.filePath("victim");
    QVERIFY(FileTree::write(victim, "victim\n"));
    if (before == "log")
        QVERIFY(FileTree::write(logDir + "/update.log", "earlier\n"));
    else if (before == "link")
        QVERIFY(QDir().mkpath(logDir) && QFile::link(victim, logDir + "/update.log"));

    {
        LogFile log;
        const mode_t previousUmask = ::umask(mode_t(mask));
        const bool opened = log.open(logDir);
        ::umask(previousUmask);
        QVERIFY(opened);
        LogFile::installMessageHandler(&log);
        // Straight in: through qInfo the test's own output would hold it all too.
        const QString line(1000, 'x');
        for (qint64 written = 0; written < bytes; written += line.size())
            log.write(line);
        qWarning("last line");
    }
    // Gone with its log: nothing more reaches it.
    qInfo("after the log");

    const QByteArray text = FileTree::read(logDir + "/update.log");
    QVERIFY(text.size() <= LogFile::MaxBytes);
    QCOMPARE(text.contains("last line"), bytes < LogFile::MaxBytes);
    QCOMPARE(text.endsWith("(log ends here: it reached its size limit)\n"), bytes > LogFile::MaxBytes);
    QVERIFY(!text.contains("after the log"));
    QCOMPARE(FileTree::read(victim), QByteArray("victim\n"));
    if (before == "log")
        QCOMPARE(FileTree::read(logDir + "/update.log.1"), QByteArray("earlier\n"));
    QCOMPARE(QFileInfo(logDir).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    // The state directory above it, when the log made it, is private too.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (before.isEmpty())
        QCOMPARE(QFileInfo(dir.filePath("state")).permissions() & others, QFile::Permissions());
}

void TestConfiguration::logDirectoryRule_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("everyone can write") << 0777 << false << "others can write to ";
    QTest::newRow("the group can write") << 0730 << false << "others can write to ";
    QTest::newRow("others can read") << 0755 << false << "";
    QTest::newRow("another user's") << 0700 << true << "belongs to another user";
}

void TestConfiguration::logDirectoryRule()
{
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(QString, refusal);
    if (otherOwner && ::geteuid() != 0)
        QSKIP("giving a directory to another user needs root");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logDir = dir.filePath("voxmeadow-update");
    QVERIFY(QDir().mkdir(logDir) && ::chmod(QFile::encodeName(logDir).constData(), mode_t(mode)) == 0);
    if (otherOwner)
        QVERIFY(::chown(QFile::encodeName(logDir).constData(), 65534, 65534) == 0);

    LogFile log;
    QCOMPARE(log.open(logDir), refusal.isEmpty());
    QVERIFY2(log.refusal().contains(refusal), qPrintable(log.refusal()));
    QCOMPARE(QFileInfo::exists(logDir + "/update.log"), refusal.isEmpty());
}

void TestConfiguration::logRotation_data()
{
    // The sizes of the earlier logs, update.log first; the number kept.
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<int>("kept");
    const qint64 mib = 1024 * 1024;
    QTest::newRow("two small") << QList<qint64> { 100, 100 } << 2;
    QTest::newRow("many small: up to twenty runs") << QList<qint64>(20, 100) << 19;
    QTest::newRow("large: always the last four") << QList<qint64>(6, 6 * mib) << 4;
    QTest::newRow("a fifth while within 16 MiB") << QList<qint64>(8, 3 * mib) << 5;
    QTest::newRow("a gap keeps its place") << QList<qint64> { 100, -1, 100 } << 3;
}

void TestConfiguration::logRotation()
{
    QFETCH(QList<qint64>, sizes);
    QFETCH(int, kept);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto name = [&dir](int run) {
        return dir.filePath(
            run == 0 ? QStringLiteral("update.log") : QStringLiteral("update.log.%1").arg(run));
    };
    for (int run = 0; run < sizes.size(); ++run) {
        if (sizes.at(run) < 0)
            continue;
        QFile file(name(run));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(run) + '\n') > 0);
        QVERIFY(file.resize(sizes.at(run)));
    }

    LogFile log;
    QVERIFY(log.open(dir.path()));
    QCOMPARE(QFileInfo(name(0)).size(), 0);
    for (int run = 0; run < sizes.size() + 1; ++run) {
        const bool expected = run < kept && sizes.at(run) >= 0;
        QVERIFY2(QFileInfo::exists(name(run + 1)) == expected, qPrintable(name(run + 1)));
        if (expected)
            QVERIFY(FileTree::read(name(run + 1)).startsWith(QByteArray::number(run) + '\n'));
    }
}

void TestConfiguration::tempDirIsPrivate()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());

    // Even a permissive umask must not open the directory to other users.
    const mode_t previousUmask = ::umask(0);
    const QString created = SessionDirectory::create(base.path(), base.filePath(QStringLiteral("install")));
    ::umask(previousUmask);

    QVERIFY2(QFileInfo(created).path() == base.path()
            && QFileInfo(created).fileName().contains(QRegularExpression("^voxmeadow_temp_[0-9A-Za-z]{12}$")),
        qPrintable(created));
    QVERIFY(SessionDirectory::belongsTo(created, base.filePath(QStringLiteral("install"))));
    QVERIFY(!SessionDirectory::belongsTo(created, base.filePath(QStringLiteral("other"))));
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(created).constData(), &status), 0);
    QVERIFY(S_ISDIR(status.st_mode));
    QCOMPARE(status.st_mode & 07777, mode_t(0700));
    QCOMPARE(status.st_uid, ::getuid());
}

void TestConfiguration::tempDirSkipsTakenNames_data()
{
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("links"); // "name>target", the target relative to the base

    QTest::newRow("five taken directories") << QStringList({ "voxmeadow_temp_0", "voxmeadow_temp_1",
        "voxmeadow_temp_2", "voxmeadow_temp_3", "voxmeadow_temp_4" })
                                            << QStringList() << QStringList();
    QTest::newRow("gap is used") << QStringList({ "voxmeadow_temp_0", "voxmeadow_temp_2" }) << QStringList()
                                 << QStringList();
    QTest::newRow("planted file and links")
        << QStringList({ "planted" }) << QStringList({ "voxmeadow_temp_0" })
        << QStringList({ "voxmeadow_temp_1>missing", "voxmeadow_temp_2>planted" });
    // Another user who takes every name an earlier version would try.
    QStringList squatted;
    for (int i = 0; i < 1000; ++i)
        squatted << QStringLiteral("voxmeadow_temp_%1").arg(i);
    QTest::newRow("a thousand squatted numbered names") << squatted << QStringList() << QStringList();
}

void TestConfiguration::tempDirSkipsTakenNames()
{
    QFETCH(QStringList, directories);
    QFETCH(QStringList, files);
    QFETCH(QStringList, links);

    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QDir baseDir(base.path());
    for (const QString& name : directories) {
        QVERIFY(baseDir.mkdir(name));
        // Of another user where the test may hand it over.
        if (::geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(baseDir.absoluteFilePath(name)).constData(), 65534, 65534), 0);
    }
    for (const QString& name : files) {
        QFile file(baseDir.absoluteFilePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    for (const QString& link : links) {
        const QStringList parts = link.split(QLatin1Char('>'));
        QVERIFY(QFile::link(baseDir.absoluteFilePath(parts.at(1)), baseDir.absoluteFilePath(parts.at(0))));
    }

    const QStringList before = baseDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QStringList candidates;
    const QString created = SessionDirectory::create(base.path(), base.filePath(QStringLiteral("install")),
        [&candidates](const QString& candidate) { candidates << candidate; });
    // A new name, tried once and taken.
    QCOMPARE(candidates, QStringList { created });
    QCOMPARE(QFileInfo(created).path(), base.path());
    QVERIFY(!before.contains(QFileInfo(created).fileName()));
    QVERIFY(QFileInfo(created).isDir() && !QFileInfo(created).isSymLink());
    // Nothing was created behind a link.
    QVERIFY(!baseDir.exists(QStringLiteral("missing")));
    for (const QString& name : directories)
        QVERIFY(QDir(baseDir.absoluteFilePath(name)).isEmpty());
}

void TestConfiguration::tempDirFailures()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());

    const QString install = base.filePath(QStringLiteral("install"));
    QVERIFY(SessionDirectory::create(QString(), install).isEmpty());
    QVERIFY(SessionDirectory::create(base.filePath(QStringLiteral("does-not-exist")), install).isEmpty());
    QVERIFY(QDir(base.path()).isEmpty());
}

void TestConfiguration::tempDirBase_data()
{
    QTest::addColumn<QString>("systemTemp");
    QTest::addColumn<QString>("base");

    QTest::newRow("root") << "/"
                          << "/voxmeadow_temp_";
    QTest::newRow("without slash") << "/var/tmp"
                                   << "/var/tmp/voxmeadow_temp_";
    QTest::newRow("with slash") << "/var/tmp/"
                                << "/var/tmp/voxmeadow_temp_";
}

void TestConfiguration::tempDirBase()
{
    QFETCH(QString, systemTemp);
    QTEST(SessionDirectory::base(systemTemp), "base");
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
