#ifndef INIDOWNLOADTASKSPECIFICATION_H
#define INIDOWNLOADTASKSPECIFICATION_H

#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"

class CheckSignatureTaskSpecification;
class Mirrors;
class QNetworkAccessManager;

// Brings the product ini and its signature into the temporary directory and
// verifies them. Files left there by an earlier attempt are reused on the
// first run; after a failed verification both are fetched again, up to
// MAX_VERIFY_FAILURES times.
class IniDownloadTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    static constexpr int MAX_VERIFY_FAILURES = 1000;

    IniDownloadTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
                                 const InstallationLayout& layout, const QString& updateType,
                                 QObject* parent, double parentProgressRange);

public Q_SLOTS:
    void execute() override;
    void reset() override;

private Q_SLOTS:
    void onSigCheckDone(bool pass, CheckSignatureTaskSpecification* check);

private:
    void makeSubtasksAndStart();

    QNetworkAccessManager* networkManager;
    Mirrors* mirrors;
    InstallationLayout layout;
    QString updateType;
    int verifyFailures = 0;
};

#endif
