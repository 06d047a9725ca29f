#pragma once

// An exclusive advisory lock on an open file: every process of this program that opens the same
// file asks for it first, so two of them never work on one file at once. The lock is the open
// file's and ends when its last descriptor closes, however the holder ends.
namespace AdvisoryLock {

enum class Result
{
    Held,
    // Another open file of the same file holds the lock, in this process or another.
    HeldElsewhere,
    // The file system keeps no such locks; nothing is held.
    Unsupported,
};

// Takes the lock without waiting. `handle` is a descriptor QFile::handle() gives.
Result tryLock(int handle);

} // namespace AdvisoryLock
