#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "app/versionquery.h"
#include "manifest/installationlayout.h"
#include "manifest/updatetypedesc.h"
#include "update/updatesettings.h"

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

    int noUserMode = 0;
    UpdateTypeDesc updateTypeDesc;

Q_SIGNALS:
    void fatalError(QString errorMessage);
    void message(QString message);

private:
    InstallationLayout installation;
    QString settingsDir;
    UpdateSettings updateSettings;
    VersionQuery versionQuery;
};

#endif
