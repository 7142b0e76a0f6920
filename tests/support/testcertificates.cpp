#include "testcertificates.h"

#include "filetree.h"

#include <QProcess>

TestCertificates::TestCertificates()
{
    const QString ca = path(QStringLiteral("ca.key"));
    const QString csr = path(QStringLiteral("server.csr"));
    valid = dir.isValid() && openssl({ "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", ca })
        && openssl({ "req", "-x509", "-new", "-key", ca, "-subj", "/CN=Voxmeadow Test CA", "-days", "30",
            "-out", caFile() })
        && openssl({ "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key() })
        && openssl({ "req", "-new", "-key", key(), "-subj", "/CN=127.0.0.1", "-out", csr })
        && sign(trusted(), QStringLiteral("IP:127.0.0.1"), QStringLiteral("30"))
        && sign(wrongName(), QStringLiteral("DNS:wrong.example"), QStringLiteral("30"))
        // Valid for no time at all: expired from the next second on.
        && sign(expired(), QStringLiteral("IP:127.0.0.1"), QStringLiteral("0"))
        && openssl({ "req", "-x509", "-key", key(), "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1", "-days", "30", "-out", selfSigned() });
}

bool TestCertificates::sign(const QString& out, const QString& subjectAltName, const QString& days) const
{
    const QString extensions = path(QStringLiteral("ext.cnf"));
    return FileTree::write(extensions, "subjectAltName=" + subjectAltName.toUtf8() + "\n")
        && openssl({ "x509", "-req", "-in", path(QStringLiteral("server.csr")), "-CA", caFile(), "-CAkey",
            path(QStringLiteral("ca.key")), "-CAcreateserial", "-days", days, "-extfile", extensions, "-out",
            out });
}

bool TestCertificates::openssl(const QStringList& arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}
