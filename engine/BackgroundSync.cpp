#include "engine/BackgroundSync.h"

#include "platform/FileSystem.h"

#include <QThreadPool>

namespace {

// Syncs may block for long; they get threads of their own rather than the shared pool.
struct SyncThreads : QThreadPool
{
    SyncThreads() { setMaxThreadCount(4); }
};

QThreadPool &syncThreads()
{
    static SyncThreads pool;
    return pool;
}

} // namespace

std::shared_ptr<BackgroundSync> BackgroundSync::start(int handle, Kind kind)
{
    const int duplicate = FileSystem::duplicateHandle(handle);
    if (duplicate < 0)
        return nullptr;
    auto job = std::make_shared<BackgroundSync>(duplicate, kind);
    syncThreads().start([job] { job->run(); });
    return job;
}

bool BackgroundSync::wait() const
{
    finished.wait(false, std::memory_order_acquire);
    return ok;
}

void BackgroundSync::run()
{
    if (jobKind == Kind::WriteBack) {
        FileSystem::startWriteBack(handle);
        ok = true;
    } else {
        ok = FileSystem::syncData(handle, nullptr);
    }
    FileSystem::closeHandle(handle);
    finished.store(true, std::memory_order_release);
    finished.notify_all();
}
