#include "installfixture.h"

#include "filetree.h"

#include <QDir>
#include <QFile>
#include <QUrl>

InstallFixture::InstallFixture(const QStringList& mirrorNames)
    : mirrorNames(mirrorNames)
    , install(work.filePath(QStringLiteral("install")))
    , tmp(work.filePath(QStringLiteral("tmp")))
    , mirrorRoot(work.filePath(QStringLiteral("mirror")))
    , savedTmpDir(qgetenv("TMPDIR"))
{
    if (!work.isValid() || !QDir().mkpath(install) || !QDir().mkpath(tmp) || !QDir().mkpath(mirrorRoot)
        || !server.listen())
        return;
    // The session directories go to the system temporary directory.
    qputenv("TMPDIR", tmp.toLocal8Bit());
    server.setHandler([this](const QByteArray& rawPath) { return answer(rawPath); });
    valid = true;
}

InstallFixture::~InstallFixture()
{
    if (savedTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmpDir);
}

QByteArray mirrorsIni(const QStringList& names, const QString& baseUrl, int retries)
{
    QByteArray ini = "[mirrors]\nsize=" + QByteArray::number(names.size()) + "\n";
    for (int i = 0; i < names.size(); ++i)
        ini += QByteArray::number(i + 1) + "\\mirror=" + names.at(i).toUtf8() + "\n";
    for (const QString& name : names) {
        ini += "[" + name.toUtf8() + "]\nurl=" + baseUrl.toUtf8() + "/" + name.toUtf8() + "\n";
        if (retries >= 0)
            ini += "retries=" + QByteArray::number(retries) + "\n";
    }
    return ini;
}

bool InstallFixture::writeMirrorsIni(int retries) const
{
    return FileTree::write(QDir(install).filePath(QStringLiteral("mirrors.ini")),
        mirrorsIni(mirrorNames, server.baseUrl(), retries));
}

HttpTestServer::Response InstallFixture::answer(const QByteArray& rawPath) const
{
    const QString path = QUrl::fromPercentEncoding(rawPath);
    const QString mirror = path.section(QLatin1Char('/'), 1, 1);
    const QString rest = path.section(QLatin1Char('/'), 2);
    if (!mirrorNames.contains(mirror) || rest.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return HttpTestServer::Response::withStatus(404);
    HttpTestServer::Response response = HttpTestServer::Response::withStatus(404);
    if (overrides.value(mirror).contains(rest)) {
        response = HttpTestServer::Response::ok(overrides.value(mirror).value(rest));
    } else {
        QFile file(QDir(mirrorRoot).filePath(rest));
        if (file.open(QIODevice::ReadOnly))
            response = HttpTestServer::Response::ok(file.readAll());
    }
    // A request for the rest of a file gets it, as from any web server.
    const QByteArray head = server.requestHeads().last();
    const qsizetype range = head.indexOf("\r\nRange: bytes=");
    if (range >= 0 && response.status == 200) {
        const qint64 from = head.mid(range + 15, head.indexOf('-', range) - range - 15).toLongLong();
        const qint64 size = response.body.size();
        if (from >= size) {
            response = HttpTestServer::Response::withStatus(416);
        } else {
            response.status = 206;
            response.headers.append({ "Content-Range",
                "bytes " + QByteArray::number(from) + "-" + QByteArray::number(size - 1) + "/"
                    + QByteArray::number(size) });
            response.body = response.body.mid(from);
        }
    }
    return intercept ? intercept(rest, response) : response;
}
