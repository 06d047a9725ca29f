#include "platform/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int retryIntervalMs = 10;

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
    if (handle < 0)
        handle = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (handle < 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
            return false;
        QThread::msleep(retryIntervalMs);
    }
}
