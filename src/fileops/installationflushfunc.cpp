#include "installationflushfunc.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

InstallationFlushFunc::InstallationFlushFunc(const QString& root)
    : root(root)
{ }

bool InstallationFlushFunc::run()
{
    const int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        Q_EMIT message(QStringLiteral("Could not flush the installation to disk"));
    return true;
}
