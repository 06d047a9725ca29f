#include "tests/support/SmallDisk.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/mount.h>
#include <sys/statvfs.h>

namespace {

QString fillerPath(const QString &disk)
{
    return disk + QStringLiteral("/filler");
}

} // namespace

SmallDisk::SmallDisk(qint64 bytes)
{
    if (!folder.isValid() || !QDir(folder.path()).mkdir(QStringLiteral("disk")))
        return;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted = ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                      options.constData()) == 0;
}

SmallDisk::~SmallDisk()
{
    release();
    if (mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

bool SmallDisk::fill(qint64 keepFree)
{
    if (!mounted) {
        // A write past the limit then fails with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        if (!limited && ::getrlimit(RLIMIT_FSIZE, &savedLimit) != 0)
            return false;
        rlimit cut = savedLimit;
        cut.rlim_cur = rlim_t(keepFree);
        limited = ::setrlimit(RLIMIT_FSIZE, &cut) == 0;
        return limited;
    }
    struct statvfs room = {};
    if (::statvfs(QFile::encodeName(path()).constData(), &room) != 0)
        return false;
    QFile filler(fillerPath(path()));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray chunk(4096, 'f');
    qint64 left = qint64(room.f_bavail) * qint64(room.f_frsize) - keepFree;
    while (left > 0 && filler.write(chunk.constData(), qMin<qint64>(left, chunk.size())) > 0)
        left -= chunk.size();
    return true;
}

void SmallDisk::release()
{
    if (limited) {
        ::setrlimit(RLIMIT_FSIZE, &savedLimit);
        limited = false;
    }
    QFile::remove(fillerPath(path()));
}
