#include "demosigner.h"
#include "filetree.h"
#include "installfixture.h"
#include "releasefixture.h"
#include "manifest/releasemanifest.h"
#include "update/digestcache.h"

#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

using ReleaseFixture::Tree;

namespace {

const QString updateType = QStringLiteral("client_linux_amd64");
const int RunTimeoutMs = 80000;
// Updaters running at once; most of a run is the two-second automatic start.
const int Parallel = 6;

struct Release
{
    Tree files;
    QMap<QString, int> modes;
};

int modeOf(const QString& path)
{
    return QFileInfo(path).permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther) ? 0755
                                                                                                 : 0644;
}

// About three hundred files: data, packed documents and libraries, programs
// that are not on any name list, and the updater itself.
Release versionOne(const QByteArray& updater)
{
    Release r;
    for (int i = 0; i < 120; ++i)
        r.files[QStringLiteral("data/d%1/f%2.dat").arg(i % 7).arg(i)]
            = ReleaseFixture::bytes(200 + 37 * i, quint32(i));
    for (int i = 0; i < 50; ++i)
        r.files[QStringLiteral("docs/t%1.txt").arg(i)]
            = QByteArray("text ").repeated(100 + i) + QByteArray::number(i);
    for (int i = 0; i < 30; ++i)
        r.files[QStringLiteral("lib/libm%1.so").arg(i)] = ReleaseFixture::bytes(3000 + i, quint32(1000 + i));
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("bin/tool%1").arg(i);
        r.files[name] = "#!/bin/sh\necho tool " + QByteArray::number(i) + "\n";
        r.modes[name] = 0755;
    }
    for (int i = 0; i < 40; ++i)
        r.files[QStringLiteral("dropped/x%1.dat").arg(i)] = ReleaseFixture::bytes(500, quint32(2000 + i));
    r.files["vx3client_runscript.sh"] = "#!/bin/sh\nexit 0\n";
    r.files["update"] = updater;
    for (auto it = r.files.cbegin(); it != r.files.cend(); ++it) {
        if (!r.modes.contains(it.key()))
            r.modes[it.key()]
                = it.key().endsWith(".so") || it.key() == "update" || it.key().endsWith(".sh") ? 0755 : 0644;
    }
    return r;
}

Release versionTwo(const Release& one)
{
    Release r = one;
    int n = 0;
    for (auto it = r.files.begin(); it != r.files.end(); ++it) {
        if (!it.key().startsWith("data/") || ++n % 3 != 0)
            it.value().append("v2");
    }
    for (int i = 0; i < 40; ++i) {
        r.files.remove(QStringLiteral("dropped/x%1.dat").arg(i));
        r.modes.remove(QStringLiteral("dropped/x%1.dat").arg(i));
    }
    for (int i = 0; i < 30; ++i) {
        r.files[QStringLiteral("new/y%1.dat").arg(i)] = ReleaseFixture::bytes(700, quint32(3000 + i));
        r.modes[QStringLiteral("new/y%1.dat").arg(i)] = 0644;
    }
    // A new program off the name list has no execute bits to inherit.
    r.files["bin/newtool"] = "#!/bin/sh\n";
    r.modes["bin/newtool"] = 0644;
    return r;
}

// Each installation starts as hard links to one laid-out version 1: the
// updater never writes into an installed file, it replaces it.
bool linkTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        if (!QDir().mkpath(QFileInfo(target).path())
            || ::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
            return false;
    }
    return true;
}

bool lay(const QString& root, const Release& release)
{
    if (!ReleaseFixture::writeTree(root, release.files))
        return false;
    for (auto it = release.modes.cbegin(); it != release.modes.cend(); ++it) {
        if (!QFile::setPermissions(QDir(root).filePath(it.key()),
                it.value() == 0755 ? QFile::Permissions(0x7755) : QFile::Permissions(0x6644)))
            return false;
    }
    return true;
}

// Where one run is killed: the n-th request of this installation to the
// mirror, or the n-th log line that begins with a text.
struct KillPoint
{
    QString name;
    int request = 0;
    QString line;
    int occurrence = 1;
    // A second run that fails and rolls back before the run that completes.
    bool faultyRerun = false;
    // Killed inside its first write of update.ini, once the copy that
    // becomes the new file is there.
    bool settingsWrite = false;
};

QList<KillPoint> killPoints()
{
    QList<KillPoint> points;
    for (int request : { 1, 3, 8, 20, 60, 120, 200 })
        points.append({ QStringLiteral("request %1").arg(request), request, QString(), 1, false });
    points.append({ "list compilation", 0, "Starting update process", 1, false });
    points.append({ "installation start", 0, "Starting file updates", 1, false });
    for (int file : { 1, 4, 15, 50, 100, 150, 190, 215 })
        points.append({ QStringLiteral("file %1").arg(file), 0, "add/replace", file, false });
    points.append({ "the updater itself", 0, "add/replace update", 1, false });
    points.append({ "deletion", 0, "Starting deleting files", 1, false });
    points.append({ "temporary files", 0, "Remove temporary files", 1, false });
    points.append({ "after success", 0, "Update successfully finished", 1, false });
    points.append({ "download, then rollback", 0, "add/replace", 1, true });
    points.append({ "installation, then rollback", 0, "add/replace", 60, true });
    points.append({ "inside the update.ini write", 0, QString(), 1, false, true });
    return points;
}

} // namespace

class TestKillSweep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sweep();

private:
    struct Point;
    void startRun(Point& point, int stage);
    void onOutput(Point& point);
    void onFinished(Point& point);
    void kill(Point& point);
    QString checkInterrupted(const Point& point) const;
    QString checkComplete(const Point& point) const;
    static QString settingsCopy(const Point& point);
    QMap<QString, QString> clientFiles(const QString& root) const;

    std::unique_ptr<InstallFixture> fixture;
    QByteArray updater;
    Release one;
    Release two;
    QMap<QString, QString> oneSums;
    QMap<QString, QString> twoSums;
    QByteArray goodManifest;
    QByteArray faultyManifest;
};

struct TestKillSweep::Point
{
    KillPoint kill;
    QString mirror;
    QString root;
    QString install;
    QString tmp;
    QString runtime;
    QProcess process;
    // 0 the run that is killed, 1 the faulty run, 2 the run that completes.
    int stage = 0;
    int requests = 0;
    int lines = 0;
    bool killed = false;
    bool done = false;
    QString failure;
    QByteArray output;
    QByteArray pending;
    QMap<QString, QString> beforeFaultyRun;
    // Held by this process: QSettings waits for it before it writes the copy.
    std::unique_ptr<QLockFile> settingsLock;
};

void TestKillSweep::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
    QFile binary(QStringLiteral(UPDATE_EXECUTABLE));
    QVERIFY(binary.open(QIODevice::ReadOnly));
    updater = binary.readAll();
    one = versionOne(updater);
    two = versionTwo(one);
    // A new updater that still runs: bytes after the program change nothing.
    two.files["update"] = updater + QByteArray("\nversion 2\n");

    QStringList mirrors;
    for (int i = 0; i < killPoints().size(); ++i)
        mirrors << QStringLiteral("p%1").arg(i);
    fixture = std::make_unique<InstallFixture>(mirrors);
    QVERIFY(fixture->isValid());
    const QString source1 = fixture->work.filePath("source-1");
    const QString source2 = fixture->work.filePath("source-2");
    QVERIFY(lay(source1, one) && lay(source2, two));
    const QStringList packed { QStringLiteral("*.txt"), QStringLiteral("*.so") };
    QString error;
    QVERIFY2(ReleaseFixture::publish(source1, fixture->mirrorRoot, 1, packed, QString(), &error),
        qPrintable(error));
    QVERIFY2(ReleaseFixture::publish(source2, fixture->mirrorRoot, 2, packed,
                 ReleaseFixture::productIniPath(fixture->mirrorRoot, 1), &error),
        qPrintable(error));
    oneSums = ReleaseFixture::contents(source1);
    twoSums = ReleaseFixture::contents(source2);

    // The same release, but the last packed library does not unpack to its
    // listed sum: the installation fails at its end and rolls back.
    const QString manifestPath
        = QDir(fixture->mirrorRoot).filePath("2/" + ReleaseManifest::fileName(updateType));
    goodManifest = FileTree::read(manifestPath);
    bool listed = false;
    QVERIFY(ReleaseFixture::editManifest(fixture->mirrorRoot, 2, updateType,
        [&listed](ReleaseManifest::Header*, QList<ReleaseManifest::File>* files) {
            for (ReleaseManifest::File& file : *files) {
                if (file.key != "lib/libm9.so.gz")
                    continue;
                file.unpackedSha256
                    = ContentSum::fromDigest(QByteArray(32, '0'), ContentSum::Algorithm::Sha256);
                listed = true;
            }
        }));
    QVERIFY(listed);
    faultyManifest = FileTree::read(manifestPath);
    QVERIFY(FileTree::write(manifestPath, goodManifest));
}

QMap<QString, QString> TestKillSweep::clientFiles(const QString& root) const
{
    QMap<QString, QString> files;
    const QMap<QString, QString> all = ReleaseFixture::contents(
        root, { QStringLiteral("mirrors.ini"), QStringLiteral("update.ini"), DigestCache::fileName() });
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        files.insert(
            it.key(), it.value() + QStringLiteral(" %1").arg(modeOf(QDir(root).filePath(it.key())), 0, 8));
    return files;
}

// Every path holds its complete old or complete new content, with its mode;
// the updater is always there and runnable.
QString TestKillSweep::checkInterrupted(const Point& point) const
{
    const QMap<QString, QString> files = clientFiles(point.install);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString name = it.key();
        const QString base = QFileInfo(name).fileName();
        if (base.startsWith(InstallationLayout::newFilePrefix()) || name.startsWith("old/"))
            continue;
        const QString asOne = oneSums.value(name) + QStringLiteral(" %1").arg(one.modes.value(name), 0, 8);
        const QString asTwo = twoSums.value(name) + QStringLiteral(" %1").arg(two.modes.value(name), 0, 8);
        if (it.value() != asOne && it.value() != asTwo)
            return QStringLiteral("%1 is neither version: %2").arg(name, it.value());
    }
    for (auto it = oneSums.cbegin(); it != oneSums.cend(); ++it) {
        if (!files.contains(it.key()) && twoSums.contains(it.key()))
            return QStringLiteral("%1 is missing").arg(it.key());
    }
    if (modeOf(QDir(point.install).filePath("update")) != 0755)
        return QStringLiteral("update is not executable");
    return QString();
}

// The installation is the published version 2 and nothing of ours is left.
QString TestKillSweep::checkComplete(const Point& point) const
{
    QMap<QString, QString> expected;
    for (auto it = twoSums.cbegin(); it != twoSums.cend(); ++it)
        expected.insert(it.key(), it.value() + QStringLiteral(" %1").arg(two.modes.value(it.key()), 0, 8));
    const QMap<QString, QString> actual = clientFiles(point.install);
    if (actual != expected) {
        QStringList differences;
        for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
            if (expected.value(it.key()) != it.value())
                differences << it.key() + QStringLiteral(" ") + it.value();
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (!actual.contains(it.key()))
                differences << it.key() + QStringLiteral(" missing");
        }
        return QStringLiteral("tree differs: ") + differences.mid(0, 10).join(QStringLiteral(", "));
    }
    if (QFileInfo::exists(QDir(point.install).filePath("old")))
        return QStringLiteral("\"old\" is left");
    const QStringList sessions = QDir(point.tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (!sessions.isEmpty())
        return QStringLiteral("left in the temporary directory: ") + sessions.join(QLatin1Char(' '));
    if (FileTree::read(QDir(point.install).filePath("update.ini")).contains("[current]"))
        return QStringLiteral("the session record is left");
    return QString();
}

void TestKillSweep::startRun(Point& point, int stage)
{
    point.stage = stage;
    point.requests = 0;
    point.lines = 0;
    point.pending.clear();
    point.output += QStringLiteral("--- run %1\n").arg(stage).toUtf8();
    fixture->overrides[point.mirror].clear();
    if (point.kill.faultyRerun) {
        // The resumed session reads the manifest it already holds.
        const bool faulty = stage == 1;
        const QString manifest = ReleaseManifest::fileName(updateType);
        for (const QString& session : QDir(point.tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            FileTree::write(QDir(QDir(point.tmp).filePath(session)).filePath(manifest),
                faulty ? faultyManifest : goodManifest);
        if (faulty)
            fixture->overrides[point.mirror].insert("2/" + manifest, faultyManifest);
    }
    if (point.kill.settingsWrite && stage == 0) {
        point.settingsLock = std::make_unique<QLockFile>(settingsCopy(point) + ".lock");
        point.settingsLock->tryLock();
    }
    point.process.start(QDir(point.install).filePath("update"),
        { QStringLiteral("--nouser"), updateType, QStringLiteral("2") });
}

void TestKillSweep::kill(Point& point)
{
    if (point.killed || point.process.state() == QProcess::NotRunning)
        return;
    point.killed = true;
    ::kill(pid_t(point.process.processId()), SIGKILL);
}

void TestKillSweep::onOutput(Point& point)
{
    const QByteArray data = point.process.readAll();
    point.output += data;
    point.pending += data;
    int end;
    while ((end = point.pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(point.pending.left(end));
        point.pending.remove(0, end + 1);
        if (point.stage == 0 && !point.kill.line.isEmpty() && line.startsWith(point.kill.line)
            && ++point.lines == point.kill.occurrence)
            kill(point);
        // The faulty run has rolled back and waits for someone to read its box.
        if (point.stage == 1 && line.startsWith("Update cancelled"))
            kill(point);
    }
}

QString TestKillSweep::settingsCopy(const Point& point)
{
    return QDir(point.install).filePath(InstallationLayout::newFilePrefix() + "update.ini");
}

void TestKillSweep::onFinished(Point& point)
{
    onOutput(point);
    point.settingsLock.reset();
    if (point.stage == 0) {
        if (!point.killed) {
            point.failure = QStringLiteral("the run ended before its kill point");
        } else {
            point.failure = checkInterrupted(point);
        }
        if (!point.failure.isEmpty()) {
            point.done = true;
            return;
        }
        point.killed = false;
        if (point.kill.faultyRerun) {
            point.beforeFaultyRun = clientFiles(point.install);
            startRun(point, 1);
        } else {
            startRun(point, 2);
        }
        return;
    }
    if (point.stage == 1) {
        // The rollback left every client file as the killed run had left it.
        QMap<QString, QString> after = clientFiles(point.install);
        QMap<QString, QString> before = point.beforeFaultyRun;
        for (QMap<QString, QString>* files : { &after, &before }) {
            for (const QString& name : files->keys()) {
                if (name.startsWith("old/")
                    || QFileInfo(name).fileName().startsWith(InstallationLayout::newFilePrefix()))
                    files->remove(name);
            }
        }
        if (!point.killed)
            point.failure = QStringLiteral("the faulty run did not roll back (exit %1, status %2)")
                                .arg(point.process.exitCode())
                                .arg(point.process.exitStatus());
        else if (after != before)
            point.failure = QStringLiteral("the rollback did not restore the installation");
        if (!point.failure.isEmpty()) {
            point.done = true;
            return;
        }
        point.killed = false;
        startRun(point, 2);
        return;
    }
    if (point.process.exitStatus() != QProcess::NormalExit || point.process.exitCode() != 0)
        point.failure = QStringLiteral("the completing run failed");
    else
        point.failure = checkComplete(point);
    point.done = true;
}

void TestKillSweep::sweep()
{
    const QList<KillPoint> kills = killPoints();
    std::vector<std::unique_ptr<Point>> points;
    connect(&fixture->server, &HttpTestServer::requestReceived, this, [&](const QByteArray& path) {
        const int index = QString::fromLatin1(path).section(QLatin1Char('/'), 1, 1).mid(1).toInt();
        if (index < 0 || index >= int(points.size()))
            return;
        Point& point = *points[size_t(index)];
        if (point.stage == 0 && point.kill.request > 0 && ++point.requests == point.kill.request)
            kill(point);
    });

    for (int i = 0; i < kills.size(); ++i) {
        auto point = std::make_unique<Point>();
        point->kill = kills.at(i);
        point->mirror = QStringLiteral("p%1").arg(i);
        point->root = fixture->work.filePath(point->mirror);
        point->install = point->root + "/install";
        point->tmp = point->root + "/tmp";
        point->runtime = point->root + "/runtime";
        QVERIFY(linkTree(fixture->work.filePath("source-1"), point->install) && QDir().mkpath(point->tmp)
            && QDir().mkpath(point->runtime));
        QVERIFY(
            QFile::setPermissions(point->runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(FileTree::write(QDir(point->install).filePath("mirrors.ini"),
            mirrorsIni({ point->mirror }, fixture->server.baseUrl())));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TMPDIR", point->tmp);
        environment.insert("XDG_RUNTIME_DIR", point->runtime);
        point->process.setProcessEnvironment(environment);
        point->process.setProcessChannelMode(QProcess::MergedChannels);
        Point* raw = point.get();
        connect(&point->process, &QProcess::readyRead, this, [this, raw] { onOutput(*raw); });
        connect(&point->process, &QProcess::finished, this, [this, raw] { onFinished(*raw); });
        points.push_back(std::move(point));
    }

    size_t started = 0;
    auto running = [&] {
        int count = 0;
        for (size_t i = 0; i < started; ++i)
            count += points[i]->done ? 0 : 1;
        return count;
    };
    const bool allDone = QTest::qWaitFor(
        [&] {
            while (started < points.size() && running() < Parallel)
                startRun(*points[started++], 0);
            for (size_t i = 0; i < started; ++i) {
                Point& point = *points[i];
                if (point.kill.settingsWrite && point.stage == 0 && QFileInfo::exists(settingsCopy(point)))
                    kill(point);
            }
            return started == points.size() && running() == 0;
        },
        RunTimeoutMs * 3);

    QStringList failures;
    for (const auto& point : points) {
        if (!point->done)
            point->failure = QStringLiteral("did not end in time");
        if (point->process.state() != QProcess::NotRunning) {
            point->process.kill();
            point->process.waitForFinished(5000);
        }
        if (point->failure.isEmpty())
            continue;
        // The log without its per-file lines.
        QStringList log = QString::fromUtf8(point->output).split(QLatin1Char('\n'));
        log.removeIf([](const QString& line) {
            return line.startsWith(QLatin1String("add/replace"))
                || line.startsWith(QLatin1String("Downloading"));
        });
        failures << point->kill.name + ": " + point->failure + "\n"
                + log.mid(log.size() - 40).join(QLatin1Char('\n'));
    }
    QVERIFY2(allDone && failures.isEmpty(), qPrintable(failures.join("\n\n")));
}

QTEST_GUILESS_MAIN(TestKillSweep)
#include "tst_killsweep.moc"
