#include "updateserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("voxmeadow-updateserver"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers the Voxmeadow 3 updater's version and banner queries over UDP.\n"
                       "Each channel is given as NUMBER[#LABEL], e.g. --stable '12#3.0.12'.\n"
                       "Only the exact request datagrams are answered. Each source address gets\n"
                       "at most --burst answers at once and --rate answers per second after that\n"
                       "(a token bucket; defaults 20 and 5, enough for every updater behind one\n"
                       "address to start, little for a forged address to flood its owner with)."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption versionPort(QStringLiteral("version-port"),
        QStringLiteral("Port of the version query (default 17384)."), QStringLiteral("port"),
        QStringLiteral("17384"));
    const QCommandLineOption bannerPort(QStringLiteral("banner-port"),
        QStringLiteral("Port of the banner query (default 2009)."), QStringLiteral("port"),
        QStringLiteral("2009"));
    const QCommandLineOption stable(
        QStringLiteral("stable"), QStringLiteral("Stable channel version."), QStringLiteral("number#label"));
    const QCommandLineOption beta(
        QStringLiteral("beta"), QStringLiteral("Beta channel version."), QStringLiteral("number#label"));
    const QCommandLineOption alpha(
        QStringLiteral("alpha"), QStringLiteral("Alpha channel version."), QStringLiteral("number#label"));
    const QCommandLineOption news(QStringLiteral("news"),
        QStringLiteral("News text (HTML) for the news ticker."), QStringLiteral("text"));
    const QCommandLineOption newsFile(
        QStringLiteral("news-file"), QStringLiteral("File holding the news text."), QStringLiteral("file"));
    const QCommandLineOption banner(
        QStringLiteral("banner"), QStringLiteral("Address of the banner image."), QStringLiteral("url"));
    const QCommandLineOption bannerClick(QStringLiteral("banner-click"),
        QStringLiteral("Address a click on the banner opens."), QStringLiteral("url"));
    const SourceRateLimiter::Limits defaults;
    const QCommandLineOption rate(QStringLiteral("rate"),
        QStringLiteral("Answers per second per source address (default %1).").arg(defaults.answersPerSecond),
        QStringLiteral("n"), QString::number(defaults.answersPerSecond));
    const QCommandLineOption burst(QStringLiteral("burst"),
        QStringLiteral("Answers a source address may have at once (default %1).").arg(defaults.burst),
        QStringLiteral("n"), QString::number(defaults.burst));
    parser.addOptions({ listen, versionPort, bannerPort, stable, beta, alpha, news, newsFile, banner,
        bannerClick, rate, burst });
    parser.process(app);

    UpdateServer::Answers answers;
    const QString stableEntry = parser.value(stable);
    if (stableEntry.isEmpty()) {
        err << "voxmeadow-updateserver: --stable is required\n";
        return 2;
    }
    QStringList channels { stableEntry };
    if (parser.isSet(beta) || parser.isSet(alpha))
        channels << parser.value(beta);
    if (parser.isSet(alpha))
        channels << parser.value(alpha);
    QString problem;
    for (const QCommandLineOption* channel : { &stable, &beta, &alpha }) {
        if (parser.isSet(*channel) && !UpdateServer::checkChannelEntry(parser.value(*channel), &problem)) {
            err << "voxmeadow-updateserver: --" << channel->names().first() << ": " << problem << '\n';
            return 2;
        }
    }
    answers.versions = channels.join(QLatin1Char(','));
    answers.news = parser.value(news);
    if (parser.isSet(newsFile)) {
        QFile file(parser.value(newsFile));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "voxmeadow-updateserver: cannot read " << file.fileName() << ": " << file.errorString()
                << '\n';
            return 1;
        }
        answers.news = QString::fromUtf8(file.readAll());
    }
    answers.bannerUrl = parser.value(banner);
    answers.clickUrl = parser.value(bannerClick);
    if (!UpdateServer::checkAnswers(answers, &problem)) {
        err << "voxmeadow-updateserver: " << problem << '\n';
        return 2;
    }
    SourceRateLimiter::Limits limits;
    bool rateOk = false;
    bool burstOk = false;
    limits.answersPerSecond = parser.value(rate).toDouble(&rateOk);
    limits.burst = parser.value(burst).toInt(&burstOk);
    if (!rateOk || !(limits.answersPerSecond > 0) || !burstOk || limits.burst < 1) {
        err << "voxmeadow-updateserver: --rate takes a number above 0, --burst a whole number above 0\n";
        return 2;
    }

    bool portOk = true;
    bool bannerOk = true;
    const uint vPort = parser.value(versionPort).toUInt(&portOk);
    const uint bPort = parser.value(bannerPort).toUInt(&bannerOk);
    const QHostAddress address(parser.value(listen));
    if (!portOk || vPort > 65535 || !bannerOk || bPort > 65535 || address.isNull()) {
        err << "voxmeadow-updateserver: invalid address or port\n";
        return 2;
    }

    UpdateServer server(answers, limits);
    QObject::connect(
        &server, &UpdateServer::served, &app, [&out](const QString& line) { out << line << Qt::endl; });
    const bool serveBanner = !answers.bannerUrl.isEmpty();
    if (!server.listen(address, quint16(vPort), serveBanner ? int(bPort) : -1)) {
        err << "voxmeadow-updateserver: " << server.errorString() << '\n';
        return 1;
    }
    out << "versions on " << address.toString() << " port " << server.versionPort();
    if (serveBanner)
        out << ", banner on port " << server.bannerPort();
    out << Qt::endl;
    return QCoreApplication::exec();
}
