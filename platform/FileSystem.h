#pragma once

#include <QString>
#include <QtGlobal>

// What the download engine needs from the file system beyond QFile: writes at absolute offsets
// without a shared file position, data that really reaches the disk, and a rename that never
// replaces a file somebody else put in place. Handles are the descriptors QFile::handle() gives.
// On failure each operation returns false and puts the system's reason into *error.
namespace FileSystem {

// Writes all of the bytes at the offset, however many calls it takes.
bool writeAt(int handle, const char *data, qint64 size, qint64 offset, QString *error);

// Waits until the file's data (and the metadata needed to read it back) is on the disk.
bool syncData(int handle, QString *error);

// Tests stand in for the disk: while set, syncData() asks this function, on whichever thread it
// runs, instead of the system. It answers whether the sync succeeded. Null restores the system.
using SyncDataFunction = bool (*)(int handle);
void replaceSyncDataForTesting(SyncDataFunction function);

// Starts writing the file's dirty pages to the disk without waiting for them, so that a later
// syncData() has little left to do.
void startWriteBack(int handle);

// A second descriptor for the same open file, so that another thread can sync it while the owner
// closes its own; release it with closeHandle(). -1 on failure.
int duplicateHandle(int handle);
void closeHandle(int handle);

// Renames atomically and refuses when anything exists at `to`, even a file that appears while the
// rename runs.
bool renameNoReplace(const QString &from, const QString &to, QString *error);

} // namespace FileSystem
