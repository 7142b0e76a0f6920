#ifndef UPDATECHECKER_H
#define UPDATECHECKER_H

#include "manifest/updatetypedesc.h"

#include <QList>
#include <QPair>
#include <QString>

// Asks the update server over UDP for the version of every channel and for
// the news text. The exchange blocks the calling thread.
class UpdateChecker
{
public:
    static constexpr quint16 DefaultPort = 17384;
    static constexpr int DefaultReceiveTimeoutMs = 5000;
    static QString defaultHost();

    explicit UpdateChecker(const QString& host = defaultHost(), quint16 port = DefaultPort,
        int receiveTimeoutMs = DefaultReceiveTimeoutMs);

    bool checkUpdate();
    bool readFromServer();

    QPair<QString, QString> getClientVersionByChannel(UpdateChannel channel) const;
    QString getNews() const { return news; }

    // The text of an answer datagram: its bytes as Latin-1 up to the first NUL.
    static QString answerText(const QByteArray& datagram);
    // The channels' (version, label) pairs of a version answer, in channel order.
    static QList<QPair<QString, QString>> parseChannelList(const QString& text);

private:
    QList<QPair<QString, QString>> channelList;
    QString news;

    QString host;
    quint16 port;
    int receiveTimeoutMs;
};

#endif
