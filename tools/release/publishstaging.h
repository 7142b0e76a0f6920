#ifndef PUBLISHSTAGING_H
#define PUBLISHSTAGING_H

#include <QString>
#include <QStringList>

// The hidden directory inside the mirror root in which publish assembles a
// release, ".publish-N-XXXXXX", and beside it ".publish-N-XXXXXX.lock",
// locked (flock) for as long as the publish runs. A directory whose lock
// file nobody holds was left by a publish that was killed; one without a
// lock file may be an older tool's or one just being made, and is only named.
class PublishStaging
{
public:
    PublishStaging(const QString& outputDir, int version);
    ~PublishStaging();
    PublishStaging(const PublishStaging&) = delete;
    PublishStaging& operator=(const PublishStaging&) = delete;

    bool create(QString* error);
    QString path() const { return directory; }
    // Renames the finished directory to `target`; it is no staging directory then.
    bool moveTo(const QString& target);

    // Removes the staging directories below `outputDir` that no running
    // publish holds. Returns at most one line each about what was removed
    // and what was left alone.
    static QStringList removeAbandoned(const QString& outputDir);

private:
    QString outputDir;
    int version;
    QString directory;
    int lockFd = -1;
};

#endif
