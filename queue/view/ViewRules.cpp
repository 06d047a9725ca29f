#include "queue/view/ViewRules.h"

#include "engine/DownloadStatus.h"
#include "queue/list/QueueRules.h"

namespace ViewRules {

QString categoryTitle(Category category)
{
    switch (category) {
    case Category::AllFiles:
        return QStringLiteral("All files");
    case Category::Downloading:
        return QStringLiteral("Downloading");
    case Category::Paused:
        return QStringLiteral("Paused");
    case Category::Queued:
        return QStringLiteral("Queued");
    case Category::Completed:
        return QStringLiteral("Completed");
    case Category::Errors:
        return QStringLiteral("Errors");
    }
    return {};
}

bool matchesCategory(int row, const QString &status)
{
    switch (Category(row)) {
    case Category::AllFiles:
        return true;
    case Category::Downloading:
        return QueueRules::isActiveStatus(status);
    case Category::Paused:
        return status == DownloadStatus::Paused;
    case Category::Queued:
        return status == DownloadStatus::Queued || status == DownloadStatus::AwaitingConfirmation;
    case Category::Completed:
        return status == DownloadStatus::Completed;
    case Category::Errors:
        return status == DownloadStatus::Error;
    }
    // No row selected.
    return row < 0;
}

QString startLabel(const QString &status)
{
    if (status == DownloadStatus::Queued)
        return QStringLiteral("Start");
    if (status == DownloadStatus::Error)
        return QStringLiteral("Retry");
    return QStringLiteral("Resume");
}

bool canStart(const QString &status)
{
    return !QueueRules::isActiveStatus(status) && status != DownloadStatus::Completed &&
           status != DownloadStatus::AwaitingConfirmation;
}

bool canPause(const QString &status)
{
    return QueueRules::isActiveStatus(status);
}

} // namespace ViewRules
