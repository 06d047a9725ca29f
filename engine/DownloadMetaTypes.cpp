#include "engine/DownloadMetaTypes.h"

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"

void registerDownloadMetaTypes()
{
    qRegisterMetaType<DownloadSpec>("DownloadSpec");
    qRegisterMetaType<DownloadSnapshot>("DownloadSnapshot");
}
