#pragma once

#include <QString>

#include <atomic>
#include <memory>

// Hands a file's dirty data to the disk on a thread of its own, so that the thread writing the
// file (and serving every connection of a download) never waits for the disk. The job works on a
// duplicate of the handle, so the owner may close its file, or drop the job, at any time.
class BackgroundSync
{
public:
    enum class Kind
    {
        // Only start writing dirty pages out, so that a later sync finds little left to do.
        WriteBack,
        // Wait until every byte written before the start is on the disk.
        DataSync,
    };

    // Null when the handle cannot be duplicated.
    static std::shared_ptr<BackgroundSync> start(int handle, Kind kind);

    bool isFinished() const { return finished.load(std::memory_order_acquire); }
    // Valid once isFinished() is true.
    bool succeeded() const { return ok; }
    // Blocks until the job has finished; whether it succeeded.
    bool wait() const;

    BackgroundSync(int handle, Kind kind)
        : handle(handle)
        , jobKind(kind)
    {
    }
    BackgroundSync(const BackgroundSync &) = delete;
    BackgroundSync &operator=(const BackgroundSync &) = delete;

private:
    void run();

    const int handle;
    const Kind jobKind;
    bool ok = false;
    std::atomic<bool> finished{false};
};
