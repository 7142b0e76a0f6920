#include "localdaemon.h"

#include "filetree.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

LocalDaemon::~LocalDaemon()
{
    process.kill();
    process.waitForFinished(5000);
}

bool LocalDaemon::start(
    const QString& program, const QStringList& arguments, const std::function<bool(quint16 port)>& configure)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 port = freePort();
        if (port == 0 || !configure(port))
            return false;
        process.start(program, arguments);
        if (!process.waitForStarted(5000))
            return false;
        for (int wait = 0; wait < 50 && process.state() == QProcess::Running; ++wait) {
            if (accepts(port)) {
                listenPort = port;
                return true;
            }
            QThread::msleep(100);
        }
        process.kill();
        process.waitForFinished(5000);
    }
    return false;
}

std::unique_ptr<LocalDaemon> LocalDaemon::nginx(const QString& dir, const QString& root,
    const QString& certificate, const QString& key, const QByteArray& directives)
{
    std::unique_ptr<LocalDaemon> daemon(new LocalDaemon);
    daemon->logFile = QDir(dir).filePath(QStringLiteral("access.log"));
    const QString config = QDir(dir).filePath(QStringLiteral("nginx.conf"));
    const bool started = daemon->start(QStringLiteral("nginx"),
        { QStringLiteral("-p"), dir, QStringLiteral("-c"), config, QStringLiteral("-e"),
            QDir(dir).filePath(QStringLiteral("error.log")) },
        [&](quint16 port) {
            const QByteArray listen = "listen 127.0.0.1:" + QByteArray::number(port)
                + (certificate.isEmpty() ? ";"
                                         : " ssl http2;\nssl_certificate " + certificate.toUtf8()
                            + ";\nssl_certificate_key " + key.toUtf8() + ";");
            // Workers would otherwise run as nobody, who may not read the root.
            const QByteArray user = getuid() == 0 ? "user root root;\n" : "";
            const QByteArray temp = dir.toUtf8() + "/temp";
            return QDir(dir).mkpath(QStringLiteral("temp"))
                && FileTree::write(config,
                    user + "daemon off;\nmaster_process off;\npid " + dir.toUtf8() + "/nginx.pid;\nerror_log "
                        + dir.toUtf8()
                        + "/error.log;\nevents { worker_connections 512; }\nhttp {\n"
                          "log_format plain '$server_protocol $connection $status $body_bytes_sent "
                          "$request';\n"
                          "access_log "
                        + daemon->logFile.toUtf8()
                        + " plain;\ndefault_type application/octet-stream;\n"
                          "client_body_temp_path "
                        + temp + ";\nproxy_temp_path " + temp + ";\nfastcgi_temp_path " + temp
                        + ";\nuwsgi_temp_path " + temp + ";\nscgi_temp_path " + temp + ";\nserver {\n"
                        + listen + "\nroot " + root.toUtf8() + ";\n" + directives + "\n}\n}\n");
        });
    return started ? std::move(daemon) : nullptr;
}

std::unique_ptr<LocalDaemon> LocalDaemon::tinyproxy(const QString& dir, const QByteArray& credentials)
{
    std::unique_ptr<LocalDaemon> daemon(new LocalDaemon);
    const QString config = QDir(dir).filePath(QStringLiteral("tinyproxy.conf"));
    const bool started = daemon->start(QStringLiteral("tinyproxy"),
        { QStringLiteral("-d"), QStringLiteral("-c"), config }, [&](quint16 port) {
            // It logs to the test's output; as root it runs as nobody.
            QByteArray text
                = "Port " + QByteArray::number(port) + "\nListen 127.0.0.1\nTimeout 30\nLogLevel Warning\n";
            if (getuid() == 0)
                text += "User nobody\nGroup nogroup\n";
            if (!credentials.isEmpty())
                text += "BasicAuth " + credentials + "\n";
            return FileTree::write(config, text);
        });
    return started ? std::move(daemon) : nullptr;
}
