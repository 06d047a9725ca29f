#pragma once

#include "engine/DownloadSnapshot.h"

#include <QString>
#include <QStringList>
#include <QUrl>

// The rules of the rushlet-get command line: its arguments, where the file goes and how progress
// is written. Pure functions, so that they are tested without a network or a terminal.
namespace GetCommand {

inline constexpr int exitCompleted = 0;
inline constexpr int exitFailed = 1;
inline constexpr int exitUsage = 2;

struct Arguments
{
    QUrl url;
    QString output; // as given; empty for the name taken from the URL
    int connections = 8;
    qint64 limitRate = 0; // bytes per second; 0 for no limit
    QString checksum;     // as ChecksumRules keeps it; empty for none
    bool quiet = false;
    bool progress = false; // progress asked for where it is not shown by default
    bool help = false;
    bool version = false;
};

// The one-line synopsis a usage error repeats.
QString usage();
// The whole --help text: every option, the file name rule, resuming and the exit codes.
QString helpText();

// Reads the arguments that follow the program's name. False with a reason for a usage error.
bool parseArguments(const QStringList &arguments, Arguments *parsed, QString *error);

// The file name a URL's last path segment gives, decoded and made safe to create in a folder:
// no path separators or control characters, never "." or "..", short enough that the sidecar
// names still fit, and "download" when nothing usable is left.
QString fileNameFromUrl(const QUrl &url);

// The absolute destination: the output as given, relative to the working folder, or the URL's
// file name in the working folder.
QString destinationPath(const Arguments &arguments, const QString &workingFolder);

// "0 B", "1023 B", "1.0 KB", "1.5 KB"; "Unknown" for a negative count.
QString formatSize(qint64 bytes);
// The time left at the current speed: "45 sec", "2m 7s", "1h 5m"; "-" when it cannot be known.
QString formatRemaining(const DownloadSnapshot &snapshot);
// One line of progress: percent, received of total, speed, time left, connections, status.
QString formatProgress(const DownloadSnapshot &snapshot);

// The engine's sentence for a person at a shell: the window's advice to use its Retry command
// becomes the command line's (run the same command again), and a failure that kept resumable data
// says that running the command again resumes it.
QString commandLineMessage(const DownloadSnapshot &failed);
// What an interrupted run says last, telling whether the next run resumes or starts over.
QString pausedMessage(const DownloadSnapshot &paused);

// The conventional exit code of a program ended by a signal: 130 for SIGINT, 143 for SIGTERM.
int exitCodeForSignal(int signalNumber);

} // namespace GetCommand
