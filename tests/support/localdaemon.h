#ifndef LOCALDAEMON_H
#define LOCALDAEMON_H

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <functional>
#include <memory>

// A real server (nginx, tinyproxy) run in the foreground on 127.0.0.1 on a
// free port for one test, with its configuration and logs in a directory of
// the test's; it is killed with the object.
class LocalDaemon
{
public:
    ~LocalDaemon();

    // nginx serving `root`; with a certificate over TLS with HTTP/2. The
    // access log records "$server_protocol $connection $status $body_bytes_sent $request".
    static std::unique_ptr<LocalDaemon> nginx(const QString& dir, const QString& root,
        const QString& certificate = QString(), const QString& key = QString(),
        const QByteArray& directives = QByteArray());
    // tinyproxy; with `credentials` ("user password") it asks for them (407).
    static std::unique_ptr<LocalDaemon> tinyproxy(
        const QString& dir, const QByteArray& credentials = QByteArray());

    quint16 port() const { return listenPort; }
    QString accessLog() const { return logFile; }

private:
    LocalDaemon() = default;
    // Starts `program` with the configuration that `configure` writes for a
    // port, until one port works.
    bool start(const QString& program, const QStringList& arguments,
        const std::function<bool(quint16 port)>& configure);

    QProcess process;
    quint16 listenPort = 0;
    QString logFile;
};

#endif
