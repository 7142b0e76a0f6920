#ifndef SINGLEINSTANCECHECKER_H
#define SINGLEINSTANCECHECKER_H

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

class InstanceLock;

// Keeps one updater per installation and user: a lock file decides which
// start runs, the server side of the one that runs listens on a local socket
// named after the executable and the home directory, and a later start tells
// it through that socket to come to the front. Lock and socket live in the
// user's private runtime directory, where no other user can plant a name.
class SingleInstanceChecker : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstanceChecker(
        QObject* parent = nullptr, const QString& serverName = getLocalServerPath());
    ~SingleInstanceChecker() override;

    static bool checkExistingInstance(
        const QString& message, const QString& serverName = getLocalServerPath());
    // True when this process holds `lock` and so is the only updater. False
    // when another one holds it; that one has then been sent `message`, unless
    // it did not answer within `handOverMs` (it may still be starting).
    static bool claim(InstanceLock& lock, const QString& message,
        const QString& serverName = getLocalServerPath(), int handOverMs = 10000);
    static QString getLocalServerName();
    // The socket and the lock file in the private runtime directory; without
    // such a directory the bare name and no lock.
    static QString getLocalServerPath();
    static QString getLockFilePath();
    static QString getLocalServerName(const QString& applicationFilePath, const QString& homePath);

    bool isListening() const;

Q_SIGNALS:
    void otherInstanceActivate(QString message);

private Q_SLOTS:
    void onNewConnection();
    void onReadyRead();

private:
    void listen(const QString& serverName);
    void dropClient();

    QLocalServer* server;
    QLocalSocket* client;
};

#endif
