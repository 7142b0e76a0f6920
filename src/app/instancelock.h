#ifndef INSTANCELOCK_H
#define INSTANCELOCK_H

#include <QString>

// An exclusive lock on a file that the kernel releases when the holder dies,
// however it dies, so a killed updater never blocks the next one.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock without waiting; true when this object holds it.
    bool tryLock();
    bool isLocked() const { return locked; }
    // False when the lock file cannot be opened at all.
    bool isUsable() const { return fd >= 0; }

private:
    int fd;
    bool locked;
};

#endif
