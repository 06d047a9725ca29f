#include "platform/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int retryIntervalMs = 10;

// True while `name` still names the open file.
bool holdsTheName(int handle, const QByteArray &name)
{
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(handle, &opened) == 0 && ::stat(name.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

FileLock::FileLock(const QString &path)
    : path(path)
{
}

FileLock::~FileLock()
{
    if (handle >= 0)
        ::close(handle);
}

bool FileLock::lock(int timeoutMs)
{
    const QByteArray name = QFile::encodeName(path);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (handle < 0)
            handle = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (handle < 0)
            return false;
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
            if (holdsTheName(handle, name))
                return true;
            // The holder before removed the file as it let go: a lock on it guards nothing.
            ::close(handle);
            handle = -1;
            if (deadline.hasExpired())
                return false;
            continue;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
            return false;
        QThread::msleep(retryIntervalMs);
    }
}

void FileLock::removeFile()
{
    if (handle >= 0)
        ::unlink(QFile::encodeName(path).constData());
}
