#include "platform/FileNames.h"

namespace FileNames {

// The Linux file systems a user keeps downloads on tell names apart by letter case; the rare
// folder that does not (a FAT memory stick) still refuses the second name when it is created.
bool caseSensitive()
{
    return true;
}

} // namespace FileNames
