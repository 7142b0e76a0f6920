#ifndef INIDOWNLOADTASKSPECIFICATION_H
#define INIDOWNLOADTASKSPECIFICATION_H

#include "tasks/composedtaskspecification.h"

class CheckSignatureTaskSpecification;
class Configuration;
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
                                 Configuration* configuration, QObject* parent, double parentProgressRange);

public slots:
    void execute() override;
    void reset() override;

private slots:
    void onSigCheckDone(bool pass, CheckSignatureTaskSpecification* check);

private:
    void makeSubtasksAndStart();
    // Ends the run from inside the check's report, after discarding the
    // subtasks so that the check's own end is not taken for a second outcome.
    void endFromCheck(TaskState outcome);

    QNetworkAccessManager* networkManager;
    Mirrors* mirrors;
    Configuration* configuration;
    int verifyFailures = 0;
};

#endif
