#include "platform/FileSystem.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    return qt_error_string(code);
}

void setError(QString *error, int code)
{
    if (error)
        *error = systemError(code);
}

std::atomic<FileSystem::SyncDataFunction> syncDataReplacement{nullptr};

} // namespace

namespace FileSystem {

bool writeAt(int handle, const char *data, qint64 size, qint64 offset, QString *error)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(handle, data, size_t(size), off_t(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            setError(error, errno);
            return false;
        }
        if (written == 0) {
            setError(error, EIO);
            return false;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

bool syncData(int handle, QString *error)
{
    if (const SyncDataFunction replacement = syncDataReplacement.load(std::memory_order_acquire)) {
        if (replacement(handle))
            return true;
        setError(error, EIO);
        return false;
    }
    int result;
    do {
        result = ::fdatasync(handle);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        setError(error, errno);
        return false;
    }
    return true;
}

void replaceSyncDataForTesting(SyncDataFunction function)
{
    syncDataReplacement.store(function, std::memory_order_release);
}

void startWriteBack(int handle)
{
    // Only a hint: if it fails, the next syncData() simply has more to write.
    ::sync_file_range(handle, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int duplicateHandle(int handle)
{
    return ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
}

void closeHandle(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

bool renameNoReplace(const QString &from, const QString &to, QString *error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        setError(error, errno);
        return false;
    }
    // Without the flag, a hard link is the one way to claim a name only if it is free.
    if (::link(source.constData(), target.constData()) != 0) {
        setError(error, errno);
        return false;
    }
    if (::unlink(source.constData()) != 0) {
        const int code = errno;
        ::unlink(target.constData());
        setError(error, code);
        return false;
    }
    return true;
}

} // namespace FileSystem
