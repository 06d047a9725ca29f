#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ownerOnlyFile = S_IRUSR | S_IWUSR;
constexpr mode_t ownerOnlyProgram = S_IRWXU;
constexpr mode_t ownerOnlyFolder = S_IRWXU;
// Links are followed this deep, as QSaveFile does; a longer chain is replaced itself.
constexpr int maxLinkDepth = 128;

bool fail(QString *error, int code)
{
    if (error)
        *error = qt_error_string(code);
    return false;
}

template <typename Call>
int retryOnInterrupt(Call call)
{
    int result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

QString finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < maxLinkDepth && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

bool writeAll(int handle, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(handle, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Gives the unnamed file a name beside the target that nothing else uses, for the moment between
// the file being whole and its rename over the target.
bool linkUnderFreeName(int handle, const QByteArray &target, QByteArray *name)
{
    const QByteArray source = "/proc/self/fd/" + QByteArray::number(handle);
    for (;;) {
        const QByteArray candidate =
            target + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        if (retryOnInterrupt([&] {
                return ::linkat(AT_FDCWD, source.constData(), AT_FDCWD, candidate.constData(),
                                AT_SYMLINK_FOLLOW);
            }) == 0) {
            *name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
}

// Makes the rename itself survive a power failure. The new file is already whole under the
// target's name when this runs, so a failure here is not reported as a failed write.
void syncFolder(const QByteArray &folder)
{
    const int handle = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    retryOnInterrupt([handle] { return ::fsync(handle); });
    ::close(handle);
}

bool replaceWithMode(const QString &path, const QByteArray &content, mode_t mode, QString *error)
{
    const QByteArray target = QFile::encodeName(finalTarget(path));
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());

    // An unnamed file gets its name only once it is whole and on the disk, so that a crash in
    // between leaves nothing behind; file systems without unnamed files get a named one. Whatever
    // name the new file has on the disk must go again if the replacement fails.
    QByteArray temporary;
    int handle = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (handle < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray pattern = target + ".XXXXXX";
        handle = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (handle >= 0)
            temporary = pattern;
    }
    if (handle < 0)
        return fail(error, errno);
    const bool unnamed = temporary.isEmpty();

    // The umask may only have narrowed the rights; set them exactly. File systems without Unix
    // rights (a FAT memory stick) refuse, and have nothing to protect the file with anyway.
    ::fchmod(handle, mode);
    bool written = writeAll(handle, content.constData(), content.size()) &&
                   retryOnInterrupt([handle] { return ::fdatasync(handle); }) == 0 &&
                   (!unnamed || linkUnderFreeName(handle, target, &temporary));
    int code = written ? 0 : errno;
    // Some file systems report a failed write only when the file is closed.
    if (::close(handle) != 0 && written) {
        written = false;
        code = errno;
    }
    if (written && ::rename(temporary.constData(), target.constData()) == 0) {
        syncFolder(folder);
        return true;
    }
    if (written)
        code = errno;
    if (!temporary.isEmpty())
        ::unlink(temporary.constData());
    return fail(error, code);
}

} // namespace

namespace PrivateFiles {

bool replace(const QString &path, const QByteArray &content, QString *error)
{
    return replaceWithMode(path, content, ownerOnlyFile, error);
}

bool replaceProgram(const QString &path, const QByteArray &content, QString *error)
{
    return replaceWithMode(path, content, ownerOnlyProgram, error);
}

bool makeFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (!QDir().mkpath(path) || ::stat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    if ((status.st_mode & 07777) == ownerOnlyFolder)
        return true;
    return ::chmod(name.constData(), ownerOnlyFolder) == 0;
}

} // namespace PrivateFiles
