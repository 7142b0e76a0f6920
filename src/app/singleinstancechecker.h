#ifndef SINGLEINSTANCECHECKER_H
#define SINGLEINSTANCECHECKER_H

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// Keeps one updater per installation and user: the server side listens on a
// local socket named after the executable and the home directory, the static
// probe tells a running updater to come to the front.
class SingleInstanceChecker : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstanceChecker(QObject* parent = nullptr, const QString& serverName = getLocalServerName());
    ~SingleInstanceChecker() override;

    static bool checkExistingInstance(const QString& message, const QString& serverName = getLocalServerName());
    static QString getLocalServerName();
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
