#include "filereplacespecification.h"

#include "manifest/installationlayout.h"

#include <QFileInfo>

bool FileReplaceSpecification::hasUnzip() const
{
    return !unzipFileName.isEmpty();
}

QString FileReplaceSpecification::pureDestFilePath() const
{
    return hasUnzip() ? unzipFileName : fileName;
}

QString FileReplaceSpecification::destFileName(const QString& prefix) const
{
    const QString base = pureDestFilePath();
    if (prefix.isEmpty())
        return base;
    const QFileInfo info(base);
    const QString dir = info.path();
    QString result = prefix + info.fileName();
    if (dir != QLatin1String("."))
        result.prepend(dir + QLatin1Char('/'));
    return result;
}

QString FileReplaceSpecification::oldDestFileName() const
{
    return InstallationLayout::oldCopyName(pureDestFilePath());
}
