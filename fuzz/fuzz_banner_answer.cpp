#include "serverquery/banner.h"
#include "ui/weblinkopener.h"

#include <QUrl>

#include <cstddef>
#include <cstdint>

// A banner answer: the image and click addresses, each judged as the window
// judges them before it fetches or opens one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString bannerUrl;
    QString clickUrl;
    if (!Banner::parseAnswer(
            QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &bannerUrl, &clickUrl))
        return 0;
    for (const QString& address : { bannerUrl, clickUrl }) {
        const QUrl url(address);
        if (WebLinkOpener::isWebAddress(url) && url.scheme() != QLatin1String("http")
            && url.scheme() != QLatin1String("https"))
            __builtin_trap();
    }
    return 0;
}
