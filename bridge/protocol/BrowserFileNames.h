#pragma once

#include <QString>

#include <functional>

// File names for downloads that arrive from the browser: a suggested name cannot be trusted, and
// the chosen one must not clash with a file on disk, a download in progress there, or a download
// already in the list.
namespace BrowserFileNames {

// How many numbered candidates are tried before giving up.
constexpr int maxCandidates = 10000;

// A plain file name that is safe on every file system the program writes to: no folders, no
// reserved characters or device names, never empty, at most 180 characters, and short enough that
// its partial file still fits the file system when a counter up to " (9999)" is added.
QString sanitizeFileName(const QString &suggested);

// The n-th candidate for `name`: the name itself for 0, else " (n)" before the last extension
// ("report.tar.gz" gives "report.tar (1).gz", "README" gives "README (1)").
QString candidateName(const QString &name, int n);

// True when `path` is the destination of a download in the list.
using ListedDestination = std::function<bool(const QString &path)>;

// The first candidate path in `folder` that is not taken. A candidate is taken by a file, a
// folder or a partial or resume file beside it (of this program or the earlier one), and by a
// listed download whose destination is the candidate, one of the candidate's partial or resume
// files, or whose own partial or resume file the candidate would be. Empty when all are taken.
QString chooseFreeDestination(const QString &folder, const QString &name, const ListedDestination &isListed);

} // namespace BrowserFileNames
