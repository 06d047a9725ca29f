#include "platform/AdvisoryLock.h"

#include <cerrno>
#include <sys/file.h>

namespace AdvisoryLock {

Result tryLock(int handle)
{
    // flock() locks belong to the open file, not to the process, so a second opening in this same
    // process is refused as well.
    int result;
    do {
        result = ::flock(handle, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return Result::Held;
    return errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unsupported;
}

} // namespace AdvisoryLock
