#ifndef WEBLINKOPENER_H
#define WEBLINKOPENER_H

#include <QUrl>

#include <functional>

// Hands addresses to the desktop's browser, web addresses only: news and
// banner addresses arrive unauthenticated over UDP, and another scheme
// (file:, a custom handler) could open a local file or start a program.
class WebLinkOpener
{
public:
    using Opener = std::function<bool(const QUrl&)>;

    WebLinkOpener() = delete;

    static bool isWebAddress(const QUrl& url);
    // Opens a web address; anything else is logged and ignored. An empty
    // address is ignored silently: it is what an unset label holds.
    static bool open(const QUrl& url);
    // Replaces the browser, so that tests launch nothing; an empty opener
    // restores the desktop's.
    static void setOpener(Opener opener);
};

#endif
