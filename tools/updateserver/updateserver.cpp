#include "updateserver.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QUdpSocket>

namespace {

const QByteArray versionRequest("3\0", 2);
const QByteArray newsRequest("*\0", 2);
const QByteArray bannerRequest("\x01\x01", 2);
// Room for the longest request, so that a longer datagram is seen as such.
constexpr qint64 MaxRequestSize = 64;

bool isLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

// C0 controls, DEL and C1 controls: a player's terminal or log would obey
// them. Latin-1 holds no bidirectional override.
bool hasControlCharacter(const QString& text, bool breaksAllowed)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool lineBreakOrTab = u == u'\t' || u == u'\n' || u == u'\r';
        if ((u < 0x20 && !(breaksAllowed && lineBreakOrTab)) || (u >= 0x7f && u <= 0x9f))
            return true;
    }
    return false;
}

} // namespace

UpdateServer::UpdateServer(const Answers& answers, const SourceRateLimiter::Limits& limits, QObject* parent)
    : QObject(parent)
    , answers(answers)
    , limiter(limits)
    , versionSocket(new QUdpSocket(this))
{
    clock.start();
    connect(versionSocket, &QUdpSocket::readyRead, this, &UpdateServer::onVersionDatagram);
}

bool UpdateServer::checkChannelEntry(const QString& entry, QString* problem)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+)(#[^,\\x{0}]*)?$"));
    const QRegularExpressionMatch match = form.match(entry);
    bool ok = false;
    const int number = match.hasMatch() ? match.captured(1).toInt(&ok) : 0;
    // Not quoted: the entry would steer the terminal that shows the problem.
    if (hasControlCharacter(entry, false)) {
        *problem = QStringLiteral("a channel entry holds a control character");
        return false;
    }
    if (!ok || number <= 0 || !isLatin1(entry)) {
        *problem = QStringLiteral("channel entry \"%1\" is not NUMBER[#LABEL] (a version number from 1 to "
                                  "2147483647, a Latin-1 label without \",\")")
                       .arg(entry);
        return false;
    }
    return true;
}

bool UpdateServer::checkAnswers(const Answers& answers, QString* problem)
{
    const auto check = [problem](bool ok, const QString& text) {
        if (!ok)
            *problem = text;
        return ok;
    };
    const QString banner = answers.bannerUrl + QLatin1Char(',') + answers.clickUrl;
    return check(answers.versions.size() <= MaxVersionsSize,
               QStringLiteral("the version answer is longer than the %1 bytes the updater reads")
                   .arg(MaxVersionsSize))
        && check(isLatin1(answers.news) && !hasControlCharacter(answers.news, true),
            QStringLiteral("the news text holds characters that are not Latin-1, or control characters other "
                           "than tabs and line breaks"))
        && check(answers.news.size() <= MaxNewsSize,
            QStringLiteral("the news text is %1 bytes, more than the %2 the updater reads")
                .arg(answers.news.size())
                .arg(MaxNewsSize))
        && check(isLatin1(banner) && banner.count(QLatin1Char(',')) == 1 && banner.size() <= MaxBannerSize,
            QStringLiteral("the banner addresses must be Latin-1 without \",\" and together at most %1 bytes")
                .arg(MaxBannerSize - 1));
}

bool UpdateServer::mayAnswer(const QHostAddress& source)
{
    if (limiter.allow(source, clock.elapsed()))
        return true;
    Q_EMIT served(QStringLiteral("rate limit: no answer to %1").arg(source.toString()));
    return false;
}

bool UpdateServer::listen(const QHostAddress& address, quint16 versionPort, int bannerPort)
{
    if (!versionSocket->bind(address, versionPort)) {
        error = QStringLiteral("cannot listen on %1 port %2: %3")
                    .arg(address.toString())
                    .arg(versionPort)
                    .arg(versionSocket->errorString());
        return false;
    }
    if (bannerPort < 0)
        return true;
    bannerSocket = new QUdpSocket(this);
    connect(bannerSocket, &QUdpSocket::readyRead, this, &UpdateServer::onBannerDatagram);
    if (!bannerSocket->bind(address, quint16(bannerPort))) {
        error = QStringLiteral("cannot listen on %1 port %2: %3")
                    .arg(address.toString())
                    .arg(bannerPort)
                    .arg(bannerSocket->errorString());
        return false;
    }
    return true;
}

quint16 UpdateServer::versionPort() const
{
    return versionSocket->localPort();
}

quint16 UpdateServer::bannerPort() const
{
    return bannerSocket ? bannerSocket->localPort() : 0;
}

QByteArray UpdateServer::encode(const QString& text, int limit)
{
    // The updater reads up to the first NUL, so one ends every answer.
    return text.toLatin1().left(limit) + '\0';
}

void UpdateServer::onVersionDatagram()
{
    while (versionSocket->hasPendingDatagrams()) {
        const QNetworkDatagram request = versionSocket->receiveDatagram(MaxRequestSize);
        const QByteArray data = request.data();
        QByteArray answer;
        QString what;
        if (data == versionRequest) {
            answer = encode(answers.versions, MaxVersionsSize);
            what = QStringLiteral("versions");
        } else if (data == newsRequest) {
            answer = encode(answers.news, MaxNewsSize);
            what = QStringLiteral("news");
        } else {
            Q_EMIT served(
                QStringLiteral("ignored an unknown request from %1").arg(request.senderAddress().toString()));
            continue;
        }
        if (!mayAnswer(request.senderAddress()))
            continue;
        versionSocket->writeDatagram(request.makeReply(answer));
        Q_EMIT served(QStringLiteral("sent the %1 to %2").arg(what, request.senderAddress().toString()));
    }
}

void UpdateServer::onBannerDatagram()
{
    while (bannerSocket->hasPendingDatagrams()) {
        const QNetworkDatagram request = bannerSocket->receiveDatagram(MaxRequestSize);
        if (request.data() != bannerRequest) {
            Q_EMIT served(QStringLiteral("ignored an unknown banner request from %1")
                              .arg(request.senderAddress().toString()));
            continue;
        }
        if (!mayAnswer(request.senderAddress()))
            continue;
        // The updater reads at most 1024 bytes and wants exactly one comma.
        const QByteArray answer
            = (answers.bannerUrl + QLatin1Char(',') + answers.clickUrl).toLatin1().left(MaxBannerSize);
        bannerSocket->writeDatagram(request.makeReply(answer));
        Q_EMIT served(
            QStringLiteral("sent the banner address to %1").arg(request.senderAddress().toString()));
    }
}
