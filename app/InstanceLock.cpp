#include "app/InstanceLock.h"

#include "platform/FileLock.h"

namespace {

// Long enough for another start to finish its own recovery, bridge ping included.
constexpr int recoveryWaitMs = 5000;

} // namespace

InstanceLock::InstanceLock(const QString &path)
    : path(path)
    , lock(path)
{
    // A lock is never stale because of its age: an instance may run for weeks.
    lock.setStaleLockTime(0);
}

bool InstanceLock::tryAcquire(const std::function<bool()> &ownerAnswers)
{
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError || ownerReadable())
        return false;

    // Two starts may find the same leftover. The removal goes by name, so one of them could
    // delete the lock the other has just put in its place; only one at a time may recover, and
    // only what it still finds unowned once it holds the guard.
    FileLock guard(path + QStringLiteral(".recovery"));
    if (!guard.lock(recoveryWaitMs))
        return false;
    const bool acquired = recoverUnowned(ownerAnswers);
    // The guard's file is needed only while somebody recovers; none of it stays in the folder.
    guard.removeFile();
    return acquired;
}

bool InstanceLock::recoverUnowned(const std::function<bool()> &ownerAnswers)
{
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError || ownerReadable())
        return false;
    if (ownerAnswers && ownerAnswers())
        return false;
    // removeStaleLockFile() takes the file's own lock first, so a live owner is never removed.
    if (!lock.removeStaleLockFile())
        return false;
    return lock.tryLock(0);
}

bool InstanceLock::ownerReadable() const
{
    qint64 pid = 0;
    QString hostName;
    QString appName;
    return lock.getLockInfo(&pid, &hostName, &appName);
}
