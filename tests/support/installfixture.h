#ifndef INSTALLFIXTURE_H
#define INSTALLFIXTURE_H

#include "httptestserver.h"
#include "manifest/installationlayout.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A mirror list naming `names`, each served below <baseUrl>/<name>; retries < 0
// leaves the mirrors' retries unset.
QByteArray mirrorsIni(const QStringList& names, const QString& baseUrl, int retries = -1);

// A temporary installation for whole update runs: <work>/install is the
// installation directory, <work>/tmp the system temporary directory (TMPDIR), and a
// local HTTP server answers "/<mirror>/<version>/<path>" of the named mirrors
// with the file <work>/mirror/<path>. The destructor restores TMPDIR.
class InstallFixture
{
public:
    explicit InstallFixture(const QStringList& mirrorNames);
    ~InstallFixture();
    InstallFixture(const InstallFixture&) = delete;
    InstallFixture& operator=(const InstallFixture&) = delete;

    // The installation below `install`, without a temporary directory yet.
    InstallationLayout layout() const { return InstallationLayout(install, QString()); }

    // Whether the directories and the server are in place.
    bool isValid() const { return valid; }
    // Writes install/mirrors.ini listing the mirrors; retries < 0 leaves them unset.
    bool writeMirrorsIni(int retries = -1) const;

    const QStringList mirrorNames;
    QTemporaryDir work;
    const QString install;
    const QString tmp;
    const QString mirrorRoot;
    HttpTestServer server;
    // Per mirror: path below the mirror ("5/files/a") -> body served instead of the file.
    QHash<QString, QHash<QString, QByteArray>> overrides;
    // Sees and may change every answer; `path` is below the mirror.
    std::function<HttpTestServer::Response(const QString& path, HttpTestServer::Response)> intercept;

private:
    HttpTestServer::Response answer(const QByteArray& rawPath) const;

    QByteArray savedTmpDir;
    bool valid = false;
};

#endif
