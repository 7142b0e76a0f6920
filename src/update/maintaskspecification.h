#ifndef MAINTASKSPECIFICATION_H
#define MAINTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"

class Mirrors;
class QNetworkAccessManager;

// The root of one update: product ini, list compilation, downloads,
// installation and deletion, strictly one after the other. It owns the file
// lists through which the steps hand work to each other.
class MainTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    MainTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
                          const InstallationLayout& layout, const QString& updateType,
                          int downloadConcurrency, QObject* parent, double parentProgressRange);

    const FileSpecifications& specifications() const { return fileSpecifications; }

public Q_SLOTS:
    void execute() override;
    void reset() override;

private Q_SLOTS:
    void onInstalled();

private:
    void makeSubtasksAndStart();

    QNetworkAccessManager* networkManager;
    Mirrors* mirrors;
    InstallationLayout layout;
    QString updateType;
    int downloadConcurrency;
    FileSpecifications fileSpecifications;
};

#endif
