#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "app/versionquery.h"
#include "manifest/installationlayout.h"
#include "manifest/updatetypedesc.h"
#include "update/updatesettings.h"
#include "verify/releasetrust.h"

#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

// What one updater process is asked to do: the installation it lives in,
// the settings of update.ini, and the client type and version to install,
// from the command line or, failing that, from the update server.
class Configuration : public QObject
{
    Q_OBJECT

public:
    using RetryPrompt = VersionQuery::RetryPrompt;

    // The installation is the running program's directory unless given.
    explicit Configuration(QObject* parent = nullptr);
    explicit Configuration(const InstallationLayout& installation, QObject* parent = nullptr);

    bool parseCommandLineOptions();
    bool parseCommandLineOptions(const QStringList& args);

    QPair<QString, QString> getLatestClientVersion(UpdateChannel channel, QString& news);

    const InstallationLayout& layout() const { return installation; }
    const UpdateSettings& settings() const { return updateSettings; }

    // Where update.ini is read; the installation directory unless
    // redirected. Setting it reads the file again.
    QString settingsDirectory() const;
    void setSettingsDirectory(const QString& dir);

    // The version query's server and answer time-out; the built-in server by default.
    void setVersionQueryServer(const QString& host, quint16 port, int receiveTimeoutMs);
    void setRetryPrompt(RetryPrompt prompt);

    // The keys that vouch for channel records; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }

    int noUserMode = 0;
    // --verify: every installed file is read; --check: nothing is installed.
    bool fullCheck = false;
    bool checkOnly = false;
    UpdateTypeDesc updateTypeDesc;
    // Why the offered version is not installed (it is older than the
    // installed one); empty when it is to be installed.
    QString declinedOffer;
    // Why "up to date" cannot be said of the offered version: the signed
    // channel information is missing or has expired; empty when it is
    // current, or when the version was asked for by name.
    QString freshnessNote;
    // The accepted channel record that vouches for the offer has expired.
    bool channelRecordExpired = false;
    // What chose the version of updateTypeDesc: "the command line", "the
    // update server", "the channel record" or update.ini's alpha revision.
    QString offerSource;

Q_SIGNALS:
    void fatalError(QString errorMessage);
    void message(QString message);
    // updateTypeDesc and offerSource hold the version to install.
    void offerDecided();

private:
    // Lets a signed channel record that offers more than the update server
    // win, and notes how fresh the offer is.
    void takeChannelRecord(UpdateTypeDesc& offer);
    // Points the version query at update.ini's update server, when it names one.
    void useConfiguredServer();
    // Declines an offer older than the installed version.
    void declineDowngrade(const UpdateTypeDesc& offer);

    InstallationLayout installation;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    QString settingsDir;
    UpdateSettings updateSettings;
    VersionQuery versionQuery;
};

#endif
