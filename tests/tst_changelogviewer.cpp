#include "demosigner.h"
#include "filetree.h"
#include "httptestserver.h"
#include "manifest/releasemanifest.h"
#include "releasefixture.h"
#include "releasepublisher.h"
#include "verify/ed25519key.h"
#include "ui/changelogviewer.h"
#include "transfer/transferengine.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

const QString Failed = QStringLiteral("Failed to load changelog.");
const int WaitMs = 10000;

} // namespace

class TestChangeLogViewer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void slowMirrorAbandoned();
    void everyMirrorFailing_data();
    void everyMirrorFailing();
    void oneDialogAtATime();
    void throughConfiguredProxy();
    void shownOnlyVouched_data();
    void shownOnlyVouched();

private:
    bool writeFile(const QString& name, const QString& text);
    void writeMirrors(const QStringList& urls);
    QString shownText() const;
    void open(const QString& proxy = QString(), const ReleaseTrust& trust = ReleaseTrust());

    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<HttpTestServer> server;
    std::unique_ptr<TransferEngine> transfers;
};

void TestChangeLogViewer::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    server = std::make_unique<HttpTestServer>();
    QVERIFY(server->listen());
    transfers = std::make_unique<TransferEngine>();
}

void TestChangeLogViewer::cleanup()
{
    delete ChangeLogViewer::instance();
    QVERIFY(!ChangeLogViewer::instance());
    transfers.reset();
    server.reset();
    root.reset();
}

bool TestChangeLogViewer::writeFile(const QString& name, const QString& text)
{
    QFile file(root->filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

void TestChangeLogViewer::writeMirrors(const QStringList& urls)
{
    QString ini = QStringLiteral("[mirrors]\nsize=%1\n").arg(urls.size());
    for (int i = 0; i < urls.size(); ++i)
        ini += QStringLiteral("%1\\mirror=m%1\n").arg(i + 1);
    for (int i = 0; i < urls.size(); ++i)
        ini += QStringLiteral("[m%1]\nurl=%2\n").arg(i + 1).arg(urls.at(i));
    QVERIFY(writeFile(QStringLiteral("mirrors.ini"), ini));
}

QString TestChangeLogViewer::shownText() const
{
    ChangeLogViewer* viewer = ChangeLogViewer::instance();
    return viewer ? viewer->findChild<QTextEdit*>(QStringLiteral("changeLogTextEdit"))->toPlainText()
                  : QString();
}

void TestChangeLogViewer::open(const QString& proxy, const ReleaseTrust& trust)
{
    transfers->setProxy(proxy);
    ChangeLogViewer::showRemoteChangeLogDialog(nullptr, QStringLiteral("7"), root->path(), transfers.get(),
        InstallationLayout::defaultUpdateType(), trust);
}

void TestChangeLogViewer::slowMirrorAbandoned()
{
    const QString base = server->baseUrl();
    writeMirrors({ base + QStringLiteral("/a"), base + QStringLiteral("/b/") });
    // Whichever mirror is drawn first never finishes its answer.
    server->setHandler([this](const QByteArray&) {
        HttpTestServer::Response response = HttpTestServer::Response::ok("Version 7: faster\n");
        if (server->requestCount() == 1)
            response.stallAfter = 0;
        return response;
    });
    open();
    QCOMPARE(shownText(), QStringLiteral("Loading..."));
    QTRY_COMPARE_WITH_TIMEOUT(shownText(), QStringLiteral("Version 7: faster\n"), WaitMs);
    const QList<QByteArray> paths = server->requestedPaths();
    QCOMPARE(paths.size(), 2);
    QCOMPARE(QSet<QByteArray>(paths.begin(), paths.end()),
        (QSet<QByteArray> { "/a/7/changelog_client.txt", "/b/7/changelog_client.txt" }));
}

void TestChangeLogViewer::everyMirrorFailing_data()
{
    QTest::addColumn<QString>("alpha");
    QTest::addColumn<int>("mirrors");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("requests");

    QTest::newRow("server errors") << QString() << 3 << 503 << QByteArray() << 3;
    QTest::newRow("redirect") << QString() << 2 << 301 << QByteArray() << 2;
    QTest::newRow("redirection page")
        << QString() << 2 << 200 << QByteArray("Fixed: the document has moved to a new place") << 2;
    QTest::newRow("no mirrors") << QString() << 0 << 200 << QByteArray("never asked") << 0;
    QTest::newRow("alpha server only") << QStringLiteral("/alpha") << 3 << 404 << QByteArray() << 1;
}

void TestChangeLogViewer::everyMirrorFailing()
{
    QFETCH(QString, alpha);
    QFETCH(int, mirrors);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, requests);

    QStringList urls;
    for (int i = 0; i < mirrors; ++i)
        urls.append(server->baseUrl() + QStringLiteral("/m%1").arg(i));
    if (mirrors > 0)
        writeMirrors(urls);
    if (!alpha.isEmpty())
        QVERIFY(writeFile(QStringLiteral("update.ini"),
            QStringLiteral("[Channel]\nalpha=%1%2\n").arg(server->baseUrl(), alpha)));
    server->setHandler([status, body](const QByteArray&) {
        HttpTestServer::Response response = HttpTestServer::Response::withStatus(status);
        if (status == 301)
            response = HttpTestServer::Response::redirect("/elsewhere");
        response.body = body;
        return response;
    });
    open();
    QTRY_COMPARE_WITH_TIMEOUT(shownText(), Failed, WaitMs);
    QCOMPARE(server->requestCount(), requests);
    const QList<QByteArray> paths = server->requestedPaths();
    QCOMPARE(QSet<QByteArray>(paths.begin(), paths.end()).size(), requests);
    if (!alpha.isEmpty())
        QCOMPARE(paths.first(), QByteArray("/alpha/7/changelog_client.txt"));
}

void TestChangeLogViewer::oneDialogAtATime()
{
    writeMirrors({ server->baseUrl() });
    server->setResponse("/7/changelog_client.txt", HttpTestServer::Response::ok("Seven\n"));
    open();
    QPointer<ChangeLogViewer> first = ChangeLogViewer::instance();
    QVERIFY(first);
    QTRY_COMPARE_WITH_TIMEOUT(shownText(), QStringLiteral("Seven\n"), WaitMs);
    ChangeLogViewer::showRemoteChangeLogDialog(nullptr, QStringLiteral("8"), root->path(), transfers.get());
    QCOMPARE(ChangeLogViewer::instance(), first.data());
    QVERIFY(first->isVisible());
    QCOMPARE(server->requestCount(), 1);

    QVERIFY(first->close());
    QTRY_VERIFY(!first);
    QVERIFY(!ChangeLogViewer::instance());
    open();
    QVERIFY(ChangeLogViewer::instance());
    QTRY_COMPARE_WITH_TIMEOUT(server->requestCount(), 2, WaitMs);
}

void TestChangeLogViewer::throughConfiguredProxy()
{
    // The mirror itself is unreachable (nothing listens on port 1); only the
    // proxy, which is the test server, can fetch its changelog.
    writeMirrors({ QStringLiteral("http://127.0.0.1:1/m") });
    server->setHandler([](const QByteArray&) { return HttpTestServer::Response::ok("Via proxy\n"); });
    open(server->baseUrl());
    QTRY_COMPARE_WITH_TIMEOUT(shownText(), QStringLiteral("Via proxy\n"), WaitMs);
    QCOMPARE(server->requestedPaths(), QList<QByteArray> { "http://127.0.0.1:1/m/7/changelog_client.txt" });
}

void TestChangeLogViewer::shownOnlyVouched_data()
{
    // Whether version 7 was published with the changelog "changes", what
    // the mirror serves as the changelog and whether it serves the manifest.
    QTest::addColumn<bool>("published");
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<bool>("manifest");
    QTest::addColumn<QString>("shown");

    QTest::newRow("vouched") << true << QByteArray("changes") << true << "changes";
    QTest::newRow("other content")
        << true << QByteArray("chang3s") << true
        << "The changelog of version 7 is not the one its signed manifest lists; not shown.";
    QTest::newRow("published without one")
        << false << QByteArray("changes") << true
        << "The signed manifest of version 7 lists no changelog; not shown.";
    QTest::newRow("no manifest")
        << true << QByteArray("changes") << false
        << "The changelog of version 7 is not vouched for by its signed manifest; not shown.";
}

void TestChangeLogViewer::shownOnlyVouched()
{
    QFETCH(bool, published);
    QFETCH(QByteArray, served);
    QFETCH(bool, manifest);

    ReleasePublisher::Options options;
    options.sourceDir = root->filePath("source");
    options.outputDir = root->filePath("mirror");
    options.version = 7;
    options.updateType = InstallationLayout::defaultUpdateType();
    options.privateKeyPath = DemoSigner::privateKeyPem();
    options.manifestKeyPaths = { DemoSigner::ed25519KeyPem(1) };
    QVERIFY(ReleaseFixture::writeTree(options.sourceDir, { { "bin/app", "app" } }));
    QVERIFY(FileTree::write(root->filePath("changes.txt"), "changes"));
    if (published)
        options.changelog = root->filePath("changes.txt");
    ReleasePublisher publisher(options);
    QVERIFY2(publisher.publish(), qPrintable(publisher.errorString()));
    const QString manifestName = ReleaseManifest::fileName(options.updateType);
    if (manifest)
        server->setResponse("/7/" + manifestName.toUtf8(),
            HttpTestServer::Response::ok(FileTree::read(root->filePath("mirror/7/" + manifestName))));
    server->setResponse("/7/changelog_client.txt", HttpTestServer::Response::ok(served));
    writeMirrors({ server->baseUrl() });
    ReleaseTrust trust;
    QString error;
    trust.keys = { Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(1), &error).publicKey() };
    open(QString(), trust);
    QFETCH(QString, shown);
    QTRY_COMPARE_WITH_TIMEOUT(shownText(), shown, WaitMs);
}

QTEST_MAIN(TestChangeLogViewer)
#include "tst_changelogviewer.moc"
