#ifndef UPDATESERVER_H
#define UPDATESERVER_H

#include "sourceratelimiter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

// Answers the updater's two UDP exchanges: "3" with the version of every
// channel ("number#label" per channel, comma separated, Stable first), "*"
// with the news text, and the banner request with "imageUrl,clickUrl".
// Only the exact request datagrams are answered, and each source address
// gets at most as many answers as its token bucket allows.
class UpdateServer : public QObject
{
    Q_OBJECT
public:
    // What the updater reads at the most; a longer answer would be cut.
    static constexpr int MaxVersionsSize = 511;
    static constexpr int MaxNewsSize = 4095;
    static constexpr int MaxBannerSize = 1024;

    struct Answers
    {
        QString versions;
        QString news;
        QString bannerUrl;
        QString clickUrl;
    };

    explicit UpdateServer(
        const Answers& answers, const SourceRateLimiter::Limits& limits = {}, QObject* parent = nullptr);

    // A channel entry as the updater parses it: a version number from 1 to
    // 2147483647 in decimal, optionally "#" and a label; Latin-1, no ",".
    static bool checkChannelEntry(const QString& entry, QString* problem);
    // Whether every answer can go out as the protocol's bytes, whole.
    static bool checkAnswers(const Answers& answers, QString* problem);

    // Port 0 lets the system choose; the chosen ports are then reported by
    // versionPort() and bannerPort(). A banner port of -1 serves no banner.
    bool listen(const QHostAddress& address, quint16 versionPort, int bannerPort);
    quint16 versionPort() const;
    quint16 bannerPort() const;
    QString errorString() const { return error; }

    // The answers as the updater will see them: Latin-1, cut to its limits.
    static QByteArray encode(const QString& text, int limit);

Q_SIGNALS:
    // One line per request served, for the server's log.
    void served(QString line);

private:
    void onVersionDatagram();
    void onBannerDatagram();
    bool mayAnswer(const QHostAddress& source);

    Answers answers;
    SourceRateLimiter limiter;
    QElapsedTimer clock;
    QUdpSocket* versionSocket;
    QUdpSocket* bannerSocket = nullptr;
    QString error;
};

#endif
