#ifndef DOWNLOADFILETASKSPECIFICATION_H
#define DOWNLOADFILETASKSPECIFICATION_H

#include "manifest/filedownloadspecification.h"
#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"

class CheckSignatureTaskSpecification;
class DownloadTaskSpecification;
class Mirrors;
class QNetworkAccessManager;

// Downloads one listed file into the temporary directory and checks its MD5
// sum. A file that fails the check is blamed on the mirror that delivered
// it: that mirror is struck off and the file is fetched again elsewhere.
class DownloadFileTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec,
                                  QNetworkAccessManager* networkManager, Mirrors* mirrors,
                                  const InstallationLayout& layout, QObject* parent, double parentProgressRange);

public Q_SLOTS:
    void execute() override;
    void reset() override;

private Q_SLOTS:
    void onSigCheckDone(bool pass, CheckSignatureTaskSpecification* check);

private:
    void makeSubtasksAndStart();

    FileDownloadSpecification fileSpec;
    QNetworkAccessManager* networkManager;
    Mirrors* mirrors;
    InstallationLayout layout;
    DownloadTaskSpecification* downloadTask = nullptr;
};

#endif
