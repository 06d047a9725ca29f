#pragma once

#include <QString>
#include <QStringList>

// File names for downloads that arrive from the browser: a suggested name cannot be trusted, and
// the chosen one must not clash with a file on disk, a download in progress there, or a download
// already in the list.
namespace BrowserFileNames {

// How many numbered candidates are tried before giving up.
constexpr int maxCandidates = 10000;

// A plain file name that is safe on every file system the program writes to: no folders, no
// reserved characters or device names, at most 180 characters, never empty.
QString sanitizeFileName(const QString &suggested);

// The n-th candidate for `name`: the name itself for 0, else " (n)" before the last extension
// ("report.tar.gz" gives "report.tar (1).gz", "README" gives "README (1)").
QString candidateName(const QString &name, int n);

// The first candidate path in `folder` that is not taken by a file, a folder or a partial or
// resume file beside it (of this program or the earlier one), nor by one of `listDestinations`
// (compared case-insensitively). Empty when all candidates are taken.
QString chooseFreeDestination(const QString &folder, const QString &name,
                              const QStringList &listDestinations);

} // namespace BrowserFileNames
