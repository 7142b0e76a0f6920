#ifndef VERSIONQUERY_H
#define VERSIONQUERY_H

#include "manifest/updatetypedesc.h"

#include <QPair>
#include <QString>

#include <functional>

// Asks the update server which version a channel offers, and asks the
// person through a prompt supplied from above whether to try again when
// the server does not answer.
class VersionQuery
{
public:
    // True to ask the server again, false to give up.
    using RetryPrompt = std::function<bool()>;

    VersionQuery();

    void setServer(const QString& host, quint16 port, int receiveTimeoutMs);
    // Without a prompt an unanswered query gives up at once.
    void setRetryPrompt(RetryPrompt prompt);

    // The channel's version number and label; both empty when the person
    // gave up. `news` receives the server's news text on success only.
    QPair<QString, QString> latestVersion(UpdateChannel channel, QString& news) const;

    // One query without a prompt, as latestVersion; it touches nothing but
    // its arguments, so it may run on another thread.
    bool askOnce(UpdateChannel channel, QPair<QString, QString>* version, QString* news) const;
    // Whether to ask again after a query that had no answer.
    bool askAgain() const { return retryPrompt && retryPrompt(); }

private:
    QString host;
    quint16 port;
    int receiveTimeoutMs;
    RetryPrompt retryPrompt;
};

#endif
