#include "update/inidownloadtaskspecification.h"

#include "verify/checksignaturetaskspecification.h"
#include "transfer/downloadtaskspecification.h"

#include <QFile>

namespace {

constexpr double DOWNLOAD_SHARE = 0.3333;

} // namespace

IniDownloadTaskSpecification::IniDownloadTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
                                                           const InstallationLayout& layout,
                                                           const QString& updateType, QObject* parent,
                                                           double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , networkManager(networkManager)
    , mirrors(mirrors)
    , layout(layout)
    , updateType(updateType)
{
}

void IniDownloadTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Download / check product ini"));
    makeSubtasksAndStart();
}

void IniDownloadTaskSpecification::reset()
{
    clearSubTasks();
    verifyFailures = 0;
    TaskSpecification::reset();
}

void IniDownloadTaskSpecification::makeSubtasksAndStart()
{
    const QString iniName = updateType + QStringLiteral(".ini");
    const QString sigName = iniName + QStringLiteral(".sig");
    const QString localIni = layout.downloadedPath(iniName);
    const QString localSig = layout.downloadedPath(sigName);

    double checkShare = 1.0;
    if (verifyFailures != 0 || !QFile::exists(localIni)) {
        addSubTask(new DownloadTaskSpecification(networkManager, mirrors, iniName, localIni, -1, this, DOWNLOAD_SHARE));
        checkShare = 1.0 - DOWNLOAD_SHARE;
    }
    if (verifyFailures != 0 || !QFile::exists(localSig)) {
        addSubTask(new DownloadTaskSpecification(networkManager, mirrors, sigName, localSig, -1, this, DOWNLOAD_SHARE));
        checkShare -= DOWNLOAD_SHARE;
    }
    auto* check = new CheckSignatureTaskSpecification(localIni, QString(), false, this, checkShare);
    connect(check, &CheckSignatureTaskSpecification::checkDone, this, &IniDownloadTaskSpecification::onSigCheckDone);
    addSubTask(check);

    state = Running;
    executeSubTasks();
}

void IniDownloadTaskSpecification::onSigCheckDone(bool pass, CheckSignatureTaskSpecification* check)
{
    Q_UNUSED(check);
    if (pass)
        return;
    ++verifyFailures;
    if (verifyFailures > MAX_VERIFY_FAILURES) {
        Q_EMIT message(QStringLiteral("Could not verify the product ini file. Aborting"));
        endRun(ErrorCanceled);
        return;
    }
    if (cancelRequested) {
        // The user asked to stop while the check ran; fetching again would
        // ignore that request.
        endRun(UserCanceled);
        return;
    }
    Q_EMIT message(QStringLiteral("Could not verify the product ini file. Retrying"));
    clearSubTasks();
    TaskSpecification::reset();
    makeSubtasksAndStart();
}
