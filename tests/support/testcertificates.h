#ifndef TESTCERTIFICATES_H
#define TESTCERTIFICATES_H

#include <QString>
#include <QTemporaryDir>

// A throwaway certificate authority and server certificates for 127.0.0.1
// made with openssl: one it signed, one for another name, one already
// expired, and one that signs itself. All share one key.
class TestCertificates
{
public:
    TestCertificates();
    bool isValid() const { return valid; }

    QString caFile() const { return path(QStringLiteral("ca.pem")); }
    QString key() const { return path(QStringLiteral("server.key")); }
    QString trusted() const { return path(QStringLiteral("trusted.pem")); }
    QString wrongName() const { return path(QStringLiteral("wrongname.pem")); }
    QString expired() const { return path(QStringLiteral("expired.pem")); }
    QString selfSigned() const { return path(QStringLiteral("selfsigned.pem")); }

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    bool openssl(const QStringList& arguments) const;
    bool sign(const QString& out, const QString& subjectAltName, const QString& days) const;

    QTemporaryDir dir;
    bool valid = false;
};

#endif
