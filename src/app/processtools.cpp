#include "app/processtools.h"

#include "manifest/installationlayout.h"

#include <QCoreApplication>
#include <QProcess>

void ProcessTools::startVx3Client()
{
    startVx3Client(QCoreApplication::applicationDirPath());
}

void ProcessTools::startVx3Client(const QString& installationDir)
{
    // The whole path is the program, so blanks in the installation path are safe.
    const QString script = installationDir + QLatin1Char('/') + InstallationLayout::clientStartScriptName();
    QProcess::startDetached(script, {});
}
