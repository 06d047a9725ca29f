#include "platform/ProcessResources.h"

#include <dirent.h>
#include <limits>
#include <sys/resource.h>

namespace ProcessResources {

int spareDescriptors()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > rlim_t(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    // The listing counts every open descriptor, its own included, which is about to be closed.
    DIR *folder = ::opendir("/proc/self/fd");
    if (!folder)
        return std::numeric_limits<int>::max();
    int open = -1;
    while (const dirent *item = ::readdir(folder)) {
        if (item->d_name[0] != '.')
            ++open;
    }
    ::closedir(folder);
    return int(limit.rlim_cur) - open;
}

void raiseDescriptorLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    // Nothing is lost when it is refused: the program then works within the limit it had.
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace ProcessResources
