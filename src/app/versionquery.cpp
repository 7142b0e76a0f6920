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
    UpdateChecker checker(host, port, receiveTimeoutMs);
    while (!checker.checkUpdate()) {
        if (!retryPrompt || !retryPrompt())
            return qMakePair(QString(), QString());
    }
    news = checker.getNews();
    return checker.getClientVersionByChannel(channel);
}
