#pragma once

#include <QString>

// The status vocabulary shared by the engines and the list. The strings are compared exactly and
// double as translation keys, so their spelling is part of the contract.
namespace DownloadStatus {

inline const QString Queued = QStringLiteral("Queued");
inline const QString Connecting = QStringLiteral("Connecting");
inline const QString Downloading = QStringLiteral("Downloading");
inline const QString Retrying = QStringLiteral("Retrying");
// Every byte is on disk and the file is being checked against its expected checksum.
inline const QString Verifying = QStringLiteral("Verifying");
inline const QString Paused = QStringLiteral("Paused");
inline const QString Completed = QStringLiteral("Completed");
inline const QString Error = QStringLiteral("Error");
inline const QString AwaitingConfirmation = QStringLiteral("Awaiting confirmation");

} // namespace DownloadStatus
