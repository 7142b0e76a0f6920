#include "transfer/mirroraccessmanager.h"
#include "transfer/plainhttpreply.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// A server on 127.0.0.1 that answers each request with the next scripted raw
// response on the same connection, so that keep-alive can be seen.
class RawServer : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QByteArray raw;
        bool close = false;
    };

    RawServer()
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            }
        });
    }
    QUrl url(const char* path) const
    {
        return QUrl(
            QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(QLatin1String(path)));
    }

    QList<Answer> script;
    QList<QByteArray> heads;
    int connections = 0;

private:
    void onReadyRead(QTcpSocket* socket)
    {
        QByteArray& pending = received[socket];
        pending += socket->readAll();
        qsizetype end;
        while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
            heads.append(pending.left(end));
            pending.remove(0, end + 4);
            const Answer answer = script.isEmpty() ? Answer { QByteArray(), true } : script.takeFirst();
            socket->write(answer.raw);
            if (answer.close) {
                socket->disconnectFromHost();
                return;
            }
        }
    }

    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> received;
};

class TestPlainHttpReply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void responses_data();
    void responses();
    void keepsAndReplacesConnections();
    void readBufferBoundsWhatIsHeld_data();
    void readBufferBoundsWhatIsHeld();
    void otherRequestsGoTheUsualWay();
};

namespace {

// A response whose status line and headers, up to the empty line, are
// `bytes` long.
QByteArray withHeaderSection(int bytes)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Padding: ";
    return head + QByteArray(bytes - head.size() - 4, 'p') + "\r\n\r\nok";
}

} // namespace

void TestPlainHttpReply::responses_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("close");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const int ok = QNetworkReply::NoError;
    const int bad = QNetworkReply::ProtocolFailure;
    const int closed = QNetworkReply::RemoteHostClosedError;
    QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false << ok
                            << 200 << QByteArray("hello");
    QTest::newRow("chunked, extension and trailer") << QByteArray(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=1\r\nhel\r\n2\r\nlo\r\n0\r\nX-T: 1\r\n\r\n")
                                                    << false << ok << 200 << QByteArray("hello");
    QTest::newRow("HTTP/1.0 body up to the close")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\nhello") << true << ok << 200 << QByteArray("hello");
    QTest::newRow("interim response first")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << false
        << ok << 200 << QByteArray("ok");
    QTest::newRow("status line without reason") << QByteArray("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok")
                                                << false << ok << 200 << QByteArray("ok");
    QTest::newRow("404 with a body") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone")
                                     << false << int(QNetworkReply::ContentNotFoundError) << 404
                                     << QByteArray("gone");
    QTest::newRow("other protocol") << QByteArray("HTTP/2 200 OK\r\nContent-Length: 2\r\n\r\nok") << false
                                    << bad << 0 << QByteArray();
    QTest::newRow("same length twice")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nok") << false << ok
        << 200 << QByteArray("ok");
    QTest::newRow("two different lengths")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok!") << false << bad
        << 0 << QByteArray();
    QTest::newRow("negative length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\nok") << false
                                     << bad << 0 << QByteArray();
    QTest::newRow("chunk size not hex")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n")
        << false << bad << 200 << QByteArray();
    QTest::newRow("chunk size with a 0x prefix")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x2\r\nok\r\n0\r\n\r\n") << false
        << bad << 200 << QByteArray();
    QTest::newRow("empty length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\nok") << true << bad
                                  << 0 << QByteArray();
    QTest::newRow("chunk longer than announced")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhello\r\n0\r\n\r\n") << false
        << bad << 200 << QByteArray("hel");
    QTest::newRow("header section exactly at the cap")
        << withHeaderSection(PlainHttpReply::MAX_HEADER_BYTES) << false << ok << 200 << QByteArray("ok");
    QTest::newRow("header section one byte over the cap")
        << withHeaderSection(PlainHttpReply::MAX_HEADER_BYTES + 1) << false << bad << 0 << QByteArray();
    QTest::newRow("closed before a response") << QByteArray() << true << closed << 0 << QByteArray();
    QTest::newRow("closed inside a header line")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Len") << true << closed << 0 << QByteArray();
    QTest::newRow("closed inside a chunk's line end")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhel\r") << true << closed
        << 200 << QByteArray("hel");
    QTest::newRow("spare line end before the status")
        << QByteArray("\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << false << ok << 200
        << QByteArray("ok");
    QTest::newRow("closed mid-body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello")
                                     << true << closed << 200 << QByteArray("hello");
}

void TestPlainHttpReply::responses()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, close);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    RawServer server;
    server.script.append({ raw, close });
    MirrorAccessManager manager;
    QSignalSpy managerFinished(&manager, &QNetworkAccessManager::finished);
    QNetworkReply* reply = manager.get(QNetworkRequest(server.url("/file")));
    QVERIFY(qobject_cast<PlainHttpReply*>(reply));
    QByteArray received;
    connect(reply, &QNetworkReply::readyRead, this, [&] { received += reply->readAll(); });
    // A caller may abort while an error is reported: the reply ends once.
    connect(reply, &QNetworkReply::errorOccurred, this, [reply] { reply->abort(); });
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    received += reply->readAll();

    QCOMPARE(int(reply->error()), error);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(received, body);
    // Downloads waiting for a mirror listen to the manager.
    QCOMPARE(managerFinished.size(), 1);
    QCOMPARE(finished.size(), 1);
    QVERIFY(server.heads.value(0).startsWith("GET /file HTTP/1.1\r\nHost: 127.0.0.1:"));
    delete reply;
}

void TestPlainHttpReply::keepsAndReplacesConnections()
{
    RawServer server;
    const QByteArray okay("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    MirrorAccessManager manager;
    const auto fetch = [&](const char* path) {
        QNetworkReply* reply = manager.get(QNetworkRequest(server.url(path)));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        const bool ended = finished.wait(5000);
        const QByteArray body
            = ended && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
        delete reply;
        return body;
    };

    server.script = { { okay }, { okay } };
    QCOMPARE(fetch("/a"), QByteArray("ok"));
    QCOMPARE(fetch("/b"), QByteArray("ok"));
    QCOMPARE(server.connections, 1);

    // The server closes the kept connection as the next request arrives, as
    // one does whose idle time-out strikes then: the request is sent once
    // more on a new connection (a new one closed so is a failure, above).
    server.script = { { QByteArray(), true }, { okay } };
    QCOMPARE(fetch("/c"), QByteArray("ok"));
    QCOMPARE(server.connections, 2);
    QCOMPARE(server.heads.size(), 4);

    // "Connection: close" is honoured; the next request opens a new one.
    server.script = { { "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok" }, { okay } };
    QCOMPARE(fetch("/d"), QByteArray("ok"));
    QCOMPARE(fetch("/e"), QByteArray("ok"));
    QCOMPARE(server.connections, 3);
}

void TestPlainHttpReply::readBufferBoundsWhatIsHeld_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::newRow("length") << false;
    // Most reads end inside a chunk's framing, which must not stay behind in
    // the socket: it would never report the rest.
    QTest::newRow("one-byte chunks") << true;
}

void TestPlainHttpReply::readBufferBoundsWhatIsHeld()
{
    QFETCH(bool, chunked);
    RawServer server;
    const QByteArray body(300 * 1024, 'x');
    QByteArray raw = "HTTP/1.1 200 OK\r\n";
    if (chunked) {
        raw += "Transfer-Encoding: chunked\r\n\r\n";
        for (char c : body)
            raw += QByteArray("1\r\n") + c + "\r\n";
        raw += "0\r\n\r\n";
    } else {
        raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    server.script = { { raw } };
    MirrorAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(server.url("/big")));
    reply->setReadBufferSize(4096);
    QByteArray received;
    qint64 mostHeld = 0;
    connect(reply, &QNetworkReply::readyRead, this, [&] {
        mostHeld = qMax(mostHeld, reply->bytesAvailable());
        received += reply->read(1024);
    });
    QTRY_VERIFY_WITH_TIMEOUT((received += reply->readAll(), reply->isFinished()), 10000);
    QCOMPARE(received, body);
    QVERIFY(mostHeld <= 4096);
    delete reply;
}

void TestPlainHttpReply::otherRequestsGoTheUsualWay()
{
    MirrorAccessManager manager;
    const auto served = [&](const QNetworkRequest& request) {
        QNetworkReply* reply = manager.get(request);
        const bool own = qobject_cast<PlainHttpReply*>(reply);
        reply->abort();
        delete reply;
        return own;
    };
    QNetworkRequest following(QUrl(QStringLiteral("http://127.0.0.1:9/x")));
    following.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QVERIFY(served(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:9/x")))));
    QVERIFY(!served(following));
    QVERIFY(!served(QNetworkRequest(QUrl(QStringLiteral("https://127.0.0.1:9/x")))));
    QVERIFY(!served(QNetworkRequest(QUrl(QStringLiteral("http://user@127.0.0.1:9/x")))));
    manager.setTransferTimeout(1000);
    QVERIFY(!served(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:9/x")))));
    manager.setTransferTimeout(0);
    manager.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
    QVERIFY(!served(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:9/x")))));
}

QTEST_GUILESS_MAIN(TestPlainHttpReply)
#include "tst_plainhttpreply.moc"
