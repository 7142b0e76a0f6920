#include "app/updateengine.h"

#include "app/configuration.h"

#include <QDir>
#include <QFile>

void UpdateEngine::removeOldFiles(const QString& dir)
{
    const QDir directory(dir);
    const QString& prefix = Configuration::getSpecialFileRenamePrefix();
    for (const QString& name : Configuration::getSpecialFileNames())
        QFile::remove(directory.absoluteFilePath(prefix + name));
}
