#include "manifest/installationlayout.h"
#include "update/updateinidata.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestSessionRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void unusableRecordReadsAsAbsent_data();
    void unusableRecordReadsAsAbsent();
    void roundTripWithNullPointers();
    void cleanupKeepsOtherGroups();

private:
    void writeRecord(const QString& version, const QString& dir, const QString& type);
    std::unique_ptr<QTemporaryDir> root;
    InstallationLayout layout;
};

void TestSessionRecord::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    layout = InstallationLayout(root->path(), QString());
}

void TestSessionRecord::writeRecord(const QString& version, const QString& dir, const QString& type)
{
    QSettings settings(UpdateIniData::filename(layout), QSettings::IniFormat);
    settings.setValue(QStringLiteral("current/version"), version);
    settings.setValue(QStringLiteral("current/dir"), dir);
    settings.setValue(QStringLiteral("current/type"), type);
}

void TestSessionRecord::unusableRecordReadsAsAbsent_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("type");

    QTest::newRow("version not a number") << "12a"
                                          << "<existing>"
                                          << "client_linux_amd64";
    QTest::newRow("version missing") << QString() << "<existing>"
                                     << "client_linux_amd64";
    QTest::newRow("type empty") << "12"
                                << "<existing>" << QString();
    QTest::newRow("dir empty") << "12" << QString() << "client_linux_amd64";
    QTest::newRow("dir gone") << "12"
                              << "<missing>"
                              << "client_linux_amd64";
}

void TestSessionRecord::unusableRecordReadsAsAbsent()
{
    QFETCH(QString, version);
    QFETCH(QString, dir);
    QFETCH(QString, type);
    if (dir == QLatin1String("<existing>"))
        dir = root->path();
    else if (dir == QLatin1String("<missing>"))
        dir = root->filePath(QStringLiteral("voxmeadow_temp_9"));
    writeRecord(version, dir, type);

    int readVersion = -1;
    QString readType = QStringLiteral("untouched");
    QString readDir = QStringLiteral("untouched");
    QVERIFY(!UpdateIniData::get(layout, &readVersion, &readType, &readDir));
    QCOMPARE(readVersion, -1);
    QCOMPARE(readType, QStringLiteral("untouched"));
    QCOMPARE(readDir, QStringLiteral("untouched"));
}

void TestSessionRecord::roundTripWithNullPointers()
{
    QVERIFY(!UpdateIniData::get(layout, nullptr, nullptr, nullptr)); // no file at all

    UpdateIniData::modify(layout, 4711, root->path(), QStringLiteral("client_linux_amd64"));
    int version = 0;
    QString dir;
    QVERIFY(UpdateIniData::get(layout, &version, nullptr, &dir));
    QCOMPARE(version, 4711);
    QCOMPARE(dir, root->path());

    // The engine reads without the type, but the type must still be there.
    UpdateIniData::modify(layout, 4711, root->path(), QString());
    QVERIFY(!UpdateIniData::get(layout, &version, nullptr, &dir));
}

void TestSessionRecord::cleanupKeepsOtherGroups()
{
    {
        QSettings settings(UpdateIniData::filename(layout), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Channel/beta"), true);
        settings.setValue(QStringLiteral("update/streams"), 3);
    }
    UpdateIniData::modify(layout, 5, root->path(), QStringLiteral("client_linux_amd64"));
    UpdateIniData::cleanup(layout);

    QVERIFY(!UpdateIniData::get(layout, nullptr, nullptr, nullptr));
    QSettings settings(UpdateIniData::filename(layout), QSettings::IniFormat);
    QCOMPARE(settings.childGroups(), QStringList({ QStringLiteral("Channel"), QStringLiteral("update") }));
    QCOMPARE(settings.value(QStringLiteral("update/streams")).toInt(), 3);
    QVERIFY(settings.value(QStringLiteral("Channel/beta")).toBool());
}

QTEST_MAIN(TestSessionRecord)
#include "tst_sessionrecord.moc"
