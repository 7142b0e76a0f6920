#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "app/versionquery.h"
#include "manifest/installationlayout.h"
#include "manifest/updatetypedesc.h"
#include "update/offerchoice.h"
#include "update/updatesettings.h"
#include "verify/releasetrust.h"

#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

// What one updater process is asked to do: the installation it lives in,
// the settings of update.ini, and the client type and version to install,
// from the command line or, failing that, from the update server and the
// signed channel record as OfferChoice weighs them.
class CommandLine;

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
    // How the version was chosen, with whether a staged rollout holds the
    // installation back.
    OfferChoice::Offer offer;

Q_SIGNALS:
    void fatalError(QString errorMessage);
    void message(QString message);
    // updateTypeDesc and offerSource hold the version to install.
    void offerDecided();

private:
    // Asks the update server and fetches the channel record at once, and
    // takes the version OfferChoice makes of them into `line`; false when
    // the person gave up on a silent server or it named no version.
    bool askForOffer(CommandLine& line, OfferChoice::Facts& facts);
    // The channel record the release keys vouch for that is no replay; its
    // serial is kept unless the run is a check.
    bool fetchChannelRecord(const QString& updateType, ChannelRecord* record);
    // Points the version query at update.ini's update server, when it names one.
    void useConfiguredServer();

    InstallationLayout installation;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    QString settingsDir;
    UpdateSettings updateSettings;
    VersionQuery versionQuery;
    // The serial of the channel record this run accepted; 0 for none.
    qint64 decidingSerial = 0;
};

#endif
