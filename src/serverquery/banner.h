#ifndef BANNER_H
#define BANNER_H

#include "buildconfig.h"

#include <QAbstractSocket>
#include <QBasicTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QHostInfo;
class QUdpSocket;

// Asks the update server where the banner image is and where a click on it
// leads. Never blocks and never reports errors: no answer means no banner.
class Banner : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 2009;
    static constexpr int DefaultAnswerTimeoutMs = 5000;

    explicit Banner(QObject* parent, const QString& host = QStringLiteral(VOXMEADOW_UPDATE_HOST),
        quint16 port = DefaultPort, int answerTimeoutMs = DefaultAnswerTimeoutMs);

    void run();

    // The image and click addresses of an answer datagram; false unless it
    // holds exactly two parts.
    static bool parseAnswer(const QByteArray& datagram, QString* bannerUrl, QString* clickUrl);

Q_SIGNALS:
    void bannerFound(QString bannerUrl, QString clickUrl);

protected:
    void timerEvent(QTimerEvent* event) override;

private Q_SLOTS:
    void onResolved(const QHostInfo& hostInfo);
    void onReadyRead();
    void onError(QAbstractSocket::SocketError socketError);

private:
    void sendRequest();

    QUdpSocket* socket;
    QBasicTimer timer;
    QHostAddress serverAddress;
    int retryCount;

    QString host;
    quint16 port;
    int answerTimeoutMs;
};

#endif
