#pragma once

#include "engine/DownloadSnapshot.h"
#include "queue/view/DisplayFormat.h"

#include <QString>

// How the window writes speed limits and checksums: the menus' entries, the status bar's
// indicator and the details pane's lines.
namespace TransferExtras {

// A limit as the menus show it: "512 KB/s", "1 MB/s", "1.5 MB/s"; sizes that are no whole or
// half unit as formatSize writes them, followed by "/s".
QString formatLimit(qint64 bytesPerSecond);

// The details pane's "Speed limit" value: the download's own limit, or "Unlimited".
QString limitText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate);

// The details pane's "Checksum" value: the algorithm and digest, and whether the file was found
// to match ("verified", for a completed download) or will be checked once every byte is there;
// "None" without a checksum.
QString checksumText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate);

// The activity line while "Verifying": how much of the file has been checked.
QString verifyingText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate);

} // namespace TransferExtras
