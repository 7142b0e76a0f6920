#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include "app/updatetypedesc.h"

#include <QMessageBox>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

// Settings and paths of one updater process: the command line, update.ini
// (groups Channel and update), the temporary download directory and the
// fixed names shared by the whole program.
class Configuration : public QObject
{
    Q_OBJECT

public:
    // Answers the Retry/Abort box of the version query; replaceable so that
    // the query can be driven without a person.
    using RetryPrompt = std::function<QMessageBox::StandardButton()>;

    explicit Configuration(QObject* parent = nullptr);

    bool parseCommandLineOptions();
    bool parseCommandLineOptions(const QStringList& args);
    void getUpdateChannel();
    bool getClientTypeVersion(const QStringList& args, int index);
    bool getClientVersionFromString(const QString& text, const QString& errorFormat);
    bool getDefaultParameters();
    void getProxyAndDownloadConcurrency();
    bool createTempDir();
    bool createTempDir(const QString& systemTempPath);
    bool initalizeStart(const QString& dir);

    QPair<QString, QString> getLatestClientVersion(UpdateChannel channel, QString& news);

    static QString getAppRootPath();
    // Points the whole process at another installation directory (tests and
    // tools); an empty path returns to the executable's directory.
    static void setAppRootPath(const QString& dir);
    static QString getClientBinaryName();
    static QString getUpdateType();
    static QStringList getSpecialFileNames();
    bool isSpecialFileName(const QString& name) const;
    static const QString& getSpecialFileRenamePrefix();

    // "voxmeadow_temp_" inside the given system temporary directory.
    static QString tempDirBase(const QString& systemTempPath);

    // Where update.ini is read; the program directory unless redirected.
    QString settingsDirectory() const;
    void setSettingsDirectory(const QString& dir);

    // The version query's server and answer time-out; the built-in server by default.
    void setVersionQueryServer(const QString& host, quint16 port, int receiveTimeoutMs);
    void setRetryPrompt(RetryPrompt prompt);

    int noUserMode = 0;
    UpdateTypeDesc updateTypeDesc;
    QString tempDir;
    QString proxy;
    int downloadConcurrency = 0;

signals:
    void fatalError(QString errorMessage);
    void message(QString message);

private:
    QString iniFilePath() const;
    QMessageBox::StandardButton askRetry();

    QString settingsDir;
    QString queryHost;
    quint16 queryPort;
    int queryTimeoutMs;
    RetryPrompt retryPrompt;
};

#endif
