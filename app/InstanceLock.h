#pragma once

#include <QLockFile>

#include <functional>

// The single-instance lock on the data folder. Whoever holds it owns the download list and the
// settings for as long as it lives; the lock is released when the object is destroyed.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &path);

    // Takes the lock without waiting for an owner to end. Qt recovers a lock left by a process that died, but
    // not a lock file that a crash left empty or unreadable before its owner was written into it; such a
    // leftover would refuse every later start. When nobody can be read as the owner and `ownerAnswers`
    // reports that no instance answers, the leftover is removed and the lock tried once more. Two starts that
    // find the same leftover recover one after the other, and the second finds the first one's lock;
    // `ownerAnswers` is asked while the recovery is held.
    bool tryAcquire(const std::function<bool()> &ownerAnswers);

    bool isLocked() const { return lock.isLocked(); }

private:
    bool ownerReadable() const;
    bool recoverUnowned(const std::function<bool()> &ownerAnswers);

    QString path;
    QLockFile lock;
};
