#pragma once

#include <QString>

// Which downloads each category of the sidebar shows, and which commands a download's status
// allows. Statuses are the engines' vocabulary; a status outside it belongs to no category but
// "All files" and allows only what every download allows.
namespace ViewRules {

// The sidebar's rows, in order.
enum class Category : int
{
    AllFiles = 0,
    Downloading = 1,
    Paused = 2,
    Queued = 3,
    Completed = 4,
    Errors = 5,
};
inline constexpr int categoryCount = 6;

// The English title of a category; empty for a value outside the list.
QString categoryTitle(Category category);

// True when a download in `status` belongs to the sidebar row `row`. No row (-1) shows all.
bool matchesCategory(int row, const QString &status);

// The English label of the command that sends "start": "Start" for a download never started,
// "Retry" after an error, "Resume" otherwise.
QString startLabel(const QString &status);

// Start (resume, retry) is offered unless the download runs, is finished, or waits for the
// user's confirmation, which is asked for instead.
bool canStart(const QString &status);
// Pause is offered only while a download runs.
bool canPause(const QString &status);

} // namespace ViewRules
