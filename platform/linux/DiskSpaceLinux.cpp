#include "platform/DiskSpace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace DiskSpace {

Reservation reserve(int handle, qint64 size)
{
    if (size <= 0)
        return Reservation::Reserved;
    // fallocate() rather than posix_fallocate(): where the file system cannot reserve, the latter
    // writes zeros over the whole size instead, which would cost as long as the download itself.
    int result;
    do {
        result = ::fallocate(handle, FALLOC_FL_KEEP_SIZE, 0, off_t(size));
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return Reservation::Reserved;
    if (errno != ENOSPC && errno != EDQUOT)
        return Reservation::Unsupported;
    // Some file systems keep what they found before running out. Cutting the file at its own end
    // gives back the room reserved beyond it and leaves every written byte in place.
    struct stat status = {};
    if (::fstat(handle, &status) == 0) {
        while (::ftruncate(handle, status.st_size) != 0 && errno == EINTR) {
        }
    }
    return Reservation::NoRoom;
}

qint64 allocatedBytes(int handle)
{
    struct stat status = {};
    if (::fstat(handle, &status) != 0)
        return 0;
    // st_blocks counts 512-byte units whatever the file system's block size.
    return qint64(status.st_blocks) * 512;
}

qint64 availableBytes(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return -1;
        existing = parent;
    }
    struct statvfs room = {};
    if (::statvfs(QFile::encodeName(existing).constData(), &room) != 0)
        return -1;
    return qint64(room.f_bavail) * qint64(room.f_frsize);
}

} // namespace DiskSpace
