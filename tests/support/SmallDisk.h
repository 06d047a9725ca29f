#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

// A folder on a disk that a test can fill up. Where the test may mount file systems (the tests run
// as root) it is a tmpfs of `bytes`, and filling it writes a file over the room left. Elsewhere it
// is an ordinary folder, and filling it forbids this process and the programs it starts to grow
// any file past the room left (RLIMIT_FSIZE), which fails writes much the same way.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes);
    ~SmallDisk();

    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isValid() const { return folder.isValid(); }
    // True when the folder is a file system of its own, whose free space is really `bytes`.
    bool isOwnFileSystem() const { return mounted; }
    QString path() const { return folder.path() + QStringLiteral("/disk"); }

    // Takes the room left but `keepFree` bytes.
    bool fill(qint64 keepFree = 0);
    // Frees what fill() took.
    void release();

private:
    QTemporaryDir folder;
    bool mounted = false;
    bool limited = false;
    rlimit savedLimit = {};
};
