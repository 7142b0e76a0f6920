#include "update/diskspacechecktaskspecification.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#include <sys/stat.h>

namespace {

dev_t deviceOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : dev_t(-1);
}

} // namespace

DiskSpaceCheckTaskSpecification::DiskSpaceCheckTaskSpecification(const FileSpecifications& specifications,
    const InstallationLayout& layout, QObject* parent, double parentProgressRange)
    : TaskSpecification(parent, parentProgressRange)
    , specifications(specifications)
    , layout(layout)
{ }

qint64 DiskSpaceCheckTaskSpecification::downloadBytes() const
{
    qint64 total = 0;
    for (qsizetype i = 0; i < specifications.downloadCount(); ++i)
        total += specifications.download(i).size;
    return total;
}

qint64 DiskSpaceCheckTaskSpecification::installBytes() const
{
    qint64 total = 0;
    for (qsizetype i = 0; i < specifications.replaceList.size(); ++i) {
        const FileReplaceSpecification& file = specifications.replaceList.at(i);
        if (file.hasUnzip()) {
            total += file.unzipSize;
            continue;
        }
        // Only a copy kept from an earlier attempt is looked at on disk.
        const qint64 listed = specifications.listedSize(i);
        total += listed >= 0 ? listed : QFileInfo(layout.downloadedPath(file.fileName)).size();
    }
    return total;
}

void DiskSpaceCheckTaskSpecification::execute()
{
    state = Running;
    const qint64 downloads = downloadBytes();
    const qint64 installs = installBytes();
    bool ok;
    if (deviceOf(layout.tempDir()) == deviceOf(layout.root()))
        ok = fits(QStringLiteral("the downloads and the installation"), layout.root(), downloads + installs);
    else
        ok = fits(QStringLiteral("the downloads"), layout.tempDir(), downloads)
            && fits(QStringLiteral("the installation"), layout.root(), installs);
    if (ok)
        finish();
    else
        errorCancel();
}

bool DiskSpaceCheckTaskSpecification::fits(const QString& what, const QString& path, qint64 needed)
{
    const qint64 available = QStorageInfo(path).bytesAvailable();
    if (needed <= 0 || available < 0 || needed <= available)
        return true;
    const QLocale c = QLocale::c();
    Q_EMIT message(QStringLiteral("Not enough disk space for %1 in %2: %3 needed, %4 free")
                       .arg(what, path, c.formattedDataSize(needed), c.formattedDataSize(available)));
    return false;
}
