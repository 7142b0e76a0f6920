#include "releasecommandline.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("voxmeadow-release"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    ReleaseCommandLine commandLine(out, err);
    return commandLine.run(QCoreApplication::arguments());
}
