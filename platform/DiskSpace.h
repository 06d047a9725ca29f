#pragma once

#include <QString>
#include <QtGlobal>

// Room on the disk: what a file already takes up, what is left, and room set aside for a file
// before it is written, so that a download that cannot fit fails before it fetches anything.
// Handles are the descriptors QFile::handle() gives.
namespace DiskSpace {

enum class Reservation
{
    // The disk holds room for every byte up to the size asked for.
    Reserved,
    // The file system cannot set room aside; writes find theirs as they go, as without a reservation.
    Unsupported,
    // The disk lacks the room. Nothing stays reserved.
    NoRoom,
};

// Sets room aside for the file's first `size` bytes without changing the file's size. Room the file
// already holds is not taken twice, so a file that was reserved before needs nothing more.
Reservation reserve(int handle, qint64 size);

// The bytes the file takes up on the disk, room reserved beyond its end included; 0 when unknown.
qint64 allocatedBytes(int handle);

// The room left for this user on the disk that holds `path`, or would hold it once its missing
// folders are made; -1 when unknown.
qint64 availableBytes(const QString &path);

} // namespace DiskSpace
