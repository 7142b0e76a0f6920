#ifndef CHANGELOGVIEWER_H
#define CHANGELOGVIEWER_H

#include "manifest/installationlayout.h"
#include "verify/releasetrust.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

class Transfer;
class TransferEngine;
class QEvent;
class QTemporaryFile;
class QTextEdit;
class QTimer;

// A modeless dialog showing the plain-text changelog of one client version,
// downloaded from the update's download servers, tried one after another at
// random until one answers within two seconds. At most one exists at a time.
// With release keys, a changelog is shown only when the release's signed
// manifest, fetched from the same mirror, vouches for it (ChangelogVouch).
class ChangeLogViewer : public QDialog
{
    Q_OBJECT

public:
    static constexpr int AttemptTimeoutMs = 2000;
    // A changelog is text for people; more than this is no changelog.
    static constexpr qint64 MaxChangeLogSize = 4 * 1024 * 1024;

    // Opens the dialog for a version, or brings the open one to the front.
    // rootPath holds update.ini and mirrors.ini; transfers is the engine
    // every other download of the updater goes through.
    static void showRemoteChangeLogDialog(QWidget* parent, const QString& version, const QString& rootPath,
        TransferEngine* transfers, const QString& updateType = InstallationLayout::defaultUpdateType(),
        const ReleaseTrust& trust = ReleaseTrust::builtIn());
    static ChangeLogViewer* instance() { return m_instance; }

    ChangeLogViewer(QWidget* parent, const QString& rootPath, TransferEngine* transfers);
    ~ChangeLogViewer() override;

    void requestRemote(const QString& version);
    QString getRemoteUrl();
    QString getRandomMirror();
    void load(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onRequestFinished();
    void onRequestTimeout();
    void onManifestFinished();

private:
    void requestManifest(const QString& base);

    QTextEdit* textEdit;
    TransferEngine* transfers;
    Transfer* transfer = nullptr;
    QByteArray received;
    QTimer* timeoutTimer;
    QList<QString> mirrorUrls;
    bool mirrorsLoaded;
    QString version;
    QString rootPath;
    QString updateType;
    ReleaseTrust trust;
    // The mirror the changelog came from, and the manifest it is checked against.
    QString currentBase;
    QByteArray changelog;
    Transfer* manifestTransfer = nullptr;
    std::unique_ptr<QTemporaryFile> manifestFile;
    QTimer* manifestTimer = nullptr;

    static ChangeLogViewer* m_instance;
};

#endif
