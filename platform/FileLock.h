#pragma once

#include <QString>

// An exclusive lock held on a file for as long as this object lives. The system releases it when
// the holder ends, however it ends, so it is never left behind; the file itself stays in place
// unless the holder removes it. For short critical sections between processes of the same user.
class FileLock
{
public:
    explicit FileLock(const QString &path);
    ~FileLock();

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Creates the file if needed and takes the lock, waiting up to `timeoutMs` for another holder.
    bool lock(int timeoutMs);

    // Removes the file while the lock is held, as the last step of the critical section. Another
    // process that waited on the removed file notices once it gets the lock and waits on the file
    // that has the name now.
    void removeFile();

private:
    QString path;
    int handle = -1;
};
