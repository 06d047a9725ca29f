#include "app/InstanceLock.h"

InstanceLock::InstanceLock(const QString &path)
    : lock(path)
{
    // A lock is never stale because of its age: an instance may run for weeks.
    lock.setStaleLockTime(0);
}

bool InstanceLock::tryAcquire(const std::function<bool()> &ownerAnswers)
{
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError)
        return false;

    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (lock.getLockInfo(&pid, &hostName, &appName))
        return false;
    if (ownerAnswers && ownerAnswers())
        return false;
    // removeStaleLockFile() takes the file's own lock first, so a live owner is never removed.
    if (!lock.removeStaleLockFile())
        return false;
    return lock.tryLock(0);
}
