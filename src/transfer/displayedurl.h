#ifndef DISPLAYEDURL_H
#define DISPLAYEDURL_H

#include <QString>

// An address as log lines and messages show it: without the user name and
// password that a mirror's address may carry, which only its requests use.
class DisplayedUrl
{
public:
    DisplayedUrl() = delete;

    static QString of(const QString& url);
};

#endif
