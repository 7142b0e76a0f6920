#include "transfer/displayedurl.h"

#include <QRegularExpression>
#include <QUrl>

QString DisplayedUrl::of(const QString& url)
{
    const QUrl parsed(url);
    if (parsed.isValid())
        return parsed.adjusted(QUrl::RemoveUserInfo).toString();
    // An address that does not parse (a "/" in the password, say) loses
    // whatever stands between its scheme and its last "@".
    static const QRegularExpression credentials(QStringLiteral("^([^:/@]*://)?.*@"));
    return QString(url).replace(credentials, QStringLiteral("\\1"));
}
