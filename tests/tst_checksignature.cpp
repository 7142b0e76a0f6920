#include "demosigner.h"
#include "verify/checksigfunc.h"
#include "verify/checksignaturetaskspecification.h"
#include "verify/cryptwrapper.h"
#include "filetree.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QByteArray productIni("[bin]\nclient=00112233445566778899aabbccddeeff::1024\n[delete]\nold.so=\n");

struct CheckOutcome
{
    QStringList events;
    QStringList messages;
    TaskState state = Idle;
    double progress = -1.0;
};

// Caps the address space of this process a little above what it uses now,
// so that reading a large file into memory fails where streaming it works.
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(qint64 headroom)
    {
        getrlimit(RLIMIT_AS, &saved);
        QFile statm(QStringLiteral("/proc/self/statm"));
        const qint64 pages
            = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(0).toLongLong() : 0;
        rlimit limited = saved;
        limited.rlim_cur = qMin<rlim_t>(rlim_t(pages * sysconf(_SC_PAGESIZE) + headroom), saved.rlim_max);
        active = pages > 0 && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

    bool active = false;

private:
    rlimit saved {};
};

} // namespace

class TestCheckSignature : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void md5Check_data();
    void md5Check();
    void md5ReadsNoMoreThanTheFileSize();
    void signatureCheck_data();
    void signatureCheck();
    void largeFilesAreNotReadWhole_data();
    void largeFilesAreNotReadWhole();
    void failureEndsByCancelOnFailure_data();
    void failureEndsByCancelOnFailure();
    void directRunNeedsNoTask();

private:
    QString writeFile(const QString& name, const QByteArray& content);
    CheckOutcome runCheck(const QString& fileName, const QString& md5, bool cancelOnFailure);
    // A check without cancel-on-failure finishes either way; only its verdict and
    // its own log line (never a library text) tell a failure.
    static void verifyVerdict(const CheckOutcome& outcome, bool pass, const QString& path);

    QTemporaryDir tempDir;
};

void TestCheckSignature::initTestCase()
{
    QVERIFY(tempDir.isValid());
    crypt_init();
}

QString TestCheckSignature::writeFile(const QString& name, const QByteArray& content)
{
    const QString path = tempDir.filePath(name);
    return FileTree::write(path, content) ? path : QString();
}

CheckOutcome TestCheckSignature::runCheck(const QString& fileName, const QString& md5, bool cancelOnFailure)
{
    CheckOutcome outcome;
    CheckSignatureTaskSpecification task(fileName, FileCheck::listedSum(md5), cancelOnFailure, nullptr, 0.2);
    connect(&task, &CheckSignatureTaskSpecification::checkDone, this,
        [&](bool pass, CheckSignatureTaskSpecification* sender) {
            outcome.events << (pass ? QStringLiteral("pass") : QStringLiteral("fail"));
            if (sender != &task)
                outcome.events << QStringLiteral("wrong sender");
        });
    connect(&task, &TaskSpecification::finished, this, [&] { outcome.events << QStringLiteral("finished"); });
    connect(&task, &TaskSpecification::canceled, this, [&] { outcome.events << QStringLiteral("canceled"); });
    connect(&task, &TaskSpecification::message, this, [&](const QString& text) { outcome.messages << text; });
    task.execute();
    // A check that never ends shows up as state Running in the caller.
    const bool ended = QTest::qWaitFor([&task] { return task.state != Running; }, 10000);
    Q_UNUSED(ended);
    outcome.state = task.state;
    outcome.progress = task.progress;
    return outcome;
}

void TestCheckSignature::verifyVerdict(const CheckOutcome& outcome, bool pass, const QString& path)
{
    QCOMPARE(outcome.state, Finished);
    QCOMPARE(outcome.events, (QStringList { pass ? "pass" : "fail", "finished" }));
    QCOMPARE(outcome.messages,
        pass ? QStringList() : QStringList { QStringLiteral("Signature check failed for %1").arg(path) });
}

void TestCheckSignature::md5Check_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("md5");
    QTest::addColumn<bool>("pass");

    const QByteArray content("some file content\n");
    const QString digest
        = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    QTest::newRow("lower case") << content << digest << true;
    QTest::newRow("upper case") << content << digest.toUpper() << true;
    QTest::newRow("blanks around") << content << (QStringLiteral(" ") + digest + QStringLiteral(" "))
                                   << false;
    QTest::newRow("other sum") << content << QStringLiteral("00112233445566778899aabbccddeeff") << false;
    QTest::newRow("truncated sum") << content << digest.left(31) << false;
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e") << true;
    QByteArray large(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (int i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 31) ^ (i >> 11));
    const QString largeDigest
        = QString::fromLatin1(QCryptographicHash::hash(large, QCryptographicHash::Md5).toHex());
    QTest::newRow("several read chunks") << large << largeDigest << true;
    large[large.size() - 1] = static_cast<char>(large.at(large.size() - 1) ^ 1);
    QTest::newRow("several read chunks, last byte differs") << large << largeDigest << false;
}

void TestCheckSignature::md5Check()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, md5);
    QFETCH(bool, pass);

    const QString path = writeFile(QStringLiteral("md5.bin"), content);
    const CheckOutcome outcome = runCheck(path, md5, false);
    QCOMPARE(outcome.progress, 0.2);
    verifyVerdict(outcome, pass, path);
}

void TestCheckSignature::md5ReadsNoMoreThanTheFileSize()
{
    // A device reports size 0 and never ends; the check must end anyway.
    const QString path = tempDir.filePath(QStringLiteral("endless.bin"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    CheckSigFunc check(path, FileCheck::md5Digest(QStringLiteral("00112233445566778899aabbccddeeff")));
    QVERIFY(!check.run());
}

void TestCheckSignature::signatureCheck_data()
{
    QTest::addColumn<QString>("signer");
    QTest::addColumn<bool>("pass");

    QTest::newRow("release code") << QStringLiteral("release") << true;
    QTest::newRow("release code, several read chunks") << QStringLiteral("release-large") << true;
    QTest::newRow("openssl pss salt 8") << QStringLiteral("openssl-pss8") << true;
    QTest::newRow("signature of other content") << QStringLiteral("other") << false;
    QTest::newRow("127 bytes") << QStringLiteral("short") << false;
    QTest::newRow("129 bytes") << QStringLiteral("long") << false;
    QTest::newRow("empty signature") << QStringLiteral("empty") << false;
}

void TestCheckSignature::signatureCheck()
{
    QFETCH(QString, signer);
    QFETCH(bool, pass);
    SKIP_UNLESS_DEMO_KEY();
    if (signer.startsWith(QStringLiteral("openssl")) && !DemoSigner::opensslAvailable())
        QSKIP("openssl command line tool not installed");

    QByteArray content = productIni;
    if (signer == QStringLiteral("release-large"))
        content += QByteArray(3 * 1024 * 1024 + 17, '#') + "\n";
    const QString path = writeFile(QStringLiteral("client_linux_amd64.ini"), content);
    QByteArray signature;
    if (signer.startsWith(QStringLiteral("release")))
        signature = DemoSigner::sign(content);
    else if (signer == QStringLiteral("openssl-pss8"))
        signature = DemoSigner::signWithOpenssl(path, DemoSigner::pssOptions());
    else if (signer == QStringLiteral("other"))
        signature = DemoSigner::sign(productIni + "extra=1\n");
    else if (signer == QStringLiteral("short"))
        signature = DemoSigner::sign(productIni).left(127);
    else if (signer == QStringLiteral("long"))
        signature = DemoSigner::sign(productIni) + '\0';
    if (signer != QStringLiteral("empty"))
        QVERIFY(!signature.isEmpty());
    writeFile(QStringLiteral("client_linux_amd64.ini.sig"), signature);

    const CheckOutcome outcome = runCheck(path, QString(), false);
    verifyVerdict(outcome, pass, path);
}

void TestCheckSignature::largeFilesAreNotReadWhole_data()
{
    QTest::addColumn<bool>("largeSignature");
    QTest::newRow("large signed file") << false;
    QTest::newRow("large signature file") << true;
}

void TestCheckSignature::largeFilesAreNotReadWhole()
{
    // A mirror may serve files of any size; checking one must not take memory in proportion.
    QFETCH(bool, largeSignature);
    constexpr qint64 largeSize = 256 * 1024 * 1024;
    const QString path = writeFile(QStringLiteral("large.ini"), productIni);
    QVERIFY(!writeFile(QStringLiteral("large.ini.sig"), QByteArray(128, '\x5a')).isEmpty());
    // Sparse: the tests' disk does not fill up.
    QVERIFY(QFile(largeSignature ? path + QStringLiteral(".sig") : path).resize(largeSize));

    bool pass = true;
    {
        AddressSpaceLimit limit(64 * 1024 * 1024);
        QVERIFY(limit.active);
        CheckSigFunc check(path, FileCheck::detachedSignature());
        pass = check.run();
    }
    QVERIFY(!pass);
}

void TestCheckSignature::failureEndsByCancelOnFailure_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("md5");
    QTest::addColumn<QString>("openFailure");
    QTest::addColumn<bool>("cancelOnFailure");

    QTest::newRow("missing file, md5") << "absent.bin"
                                       << "d41d8cd98f00b204e9800998ecf8427e"
                                       << "absent.bin" << false;
    QTest::newRow("missing file, signature") << "absent.ini"
                                             << ""
                                             << "absent.ini" << false;
    QTest::newRow("missing sig file") << "unsigned.ini"
                                      << ""
                                      << "unsigned.ini.sig" << false;
    QTest::newRow("missing sig file, cancelling") << "unsigned.ini"
                                                  << ""
                                                  << "unsigned.ini.sig" << true;
    QTest::newRow("md5 mismatch, cancelling") << "unsigned.ini"
                                              << "00000000000000000000000000000000"
                                              << "" << true;
}

void TestCheckSignature::failureEndsByCancelOnFailure()
{
    QFETCH(QString, file);
    QFETCH(QString, md5);
    QFETCH(QString, openFailure);
    QFETCH(bool, cancelOnFailure);

    writeFile(QStringLiteral("unsigned.ini"), productIni);
    const QString path = tempDir.filePath(file);
    const CheckOutcome outcome = runCheck(path, md5, cancelOnFailure);

    QStringList expectedMessages;
    if (!openFailure.isEmpty())
        expectedMessages
            << QStringLiteral("Could not open file %1 for reading").arg(tempDir.filePath(openFailure));
    expectedMessages << QStringLiteral("Signature check failed for %1").arg(path);
    QCOMPARE(outcome.messages, expectedMessages);
    if (cancelOnFailure) {
        QCOMPARE(outcome.state, ErrorCanceled);
        QCOMPARE(outcome.events, (QStringList { "fail", "canceled" }));
        QCOMPARE(outcome.progress, 0.0);
    } else {
        QCOMPARE(outcome.state, Finished);
        QCOMPARE(outcome.events, (QStringList { "fail", "finished" }));
    }
}

void TestCheckSignature::directRunNeedsNoTask()
{
    SKIP_UNLESS_DEMO_KEY();
    const QString path = writeFile(QStringLiteral("direct.ini"), productIni);
    QVERIFY(DemoSigner::signFile(path));
    CheckSigFunc check(path, FileCheck::detachedSignature());
    QSignalSpy messages(&check, &ASyncFunc::message);
    QVERIFY(check.run());
    QCOMPARE(messages.count(), 0);

    writeFile(QStringLiteral("direct.ini"), productIni + "tampered=1\n");
    QVERIFY(!check.run());
}

QTEST_GUILESS_MAIN(TestCheckSignature)
#include "tst_checksignature.moc"
