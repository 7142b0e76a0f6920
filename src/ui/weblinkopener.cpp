#include "ui/weblinkopener.h"

#include <QDesktopServices>
#include <QtDebug>

namespace {

WebLinkOpener::Opener& currentOpener()
{
    static WebLinkOpener::Opener opener;
    return opener;
}

} // namespace

bool WebLinkOpener::isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool WebLinkOpener::open(const QUrl& url)
{
    if (url.isEmpty())
        return false;
    if (!isWebAddress(url)) {
        qWarning().noquote() << "Not opening" << url.toString()
                             << "- only http and https addresses are opened";
        return false;
    }
    const Opener& opener = currentOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

void WebLinkOpener::setOpener(Opener opener)
{
    currentOpener() = std::move(opener);
}
