#include "app/RunningInstance.h"

// The local bridge is not built yet: no instance can be reached, so a second start reports that
// the data folder is locked and a lock file without an owner counts as abandoned.
namespace RunningInstance {

bool requestShow(int)
{
    return false;
}

bool answers(int)
{
    return false;
}

} // namespace RunningInstance
