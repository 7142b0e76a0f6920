#include "versionquery.h"

#include "serverquery/updatechecker.h"

VersionQuery::VersionQuery()
    : host(UpdateChecker::defaultHost())
    , port(UpdateChecker::DefaultPort)
    , receiveTimeoutMs(UpdateChecker::DefaultReceiveTimeoutMs)
{ }

void VersionQuery::setServer(const QString& host, quint16 port, int receiveTimeoutMs)
{
    this->host = host;
    this->port = port;
    this->receiveTimeoutMs = receiveTimeoutMs;
}

void VersionQuery::setRetryPrompt(RetryPrompt prompt)
{
    retryPrompt = std::move(prompt);
}

QPair<QString, QString> VersionQuery::latestVersion(UpdateChannel channel, QString& news) const
{
    QPair<QString, QString> version;
    while (!askOnce(channel, &version, &news)) {
        if (!askAgain())
            return qMakePair(QString(), QString());
    }
    return version;
}

bool VersionQuery::askOnce(UpdateChannel channel, QPair<QString, QString>* version, QString* news) const
{
    UpdateChecker checker(host, port, receiveTimeoutMs);
    if (!checker.checkUpdate())
        return false;
    *news = checker.getNews();
    *version = checker.getClientVersionByChannel(channel);
    return true;
}
