#include "queue/CategorySidebar.h"

#include "queue/SidebarDelegate.h"
#include "ui/RushletIcons.h"

namespace {

IconKind iconOf(ViewRules::Category category)
{
    switch (category) {
    case ViewRules::Category::AllFiles:
        return IconKind::DownloadTray;
    case ViewRules::Category::Downloading:
        return IconKind::ArrowDown;
    case ViewRules::Category::Paused:
        return IconKind::Pause;
    case ViewRules::Category::Queued:
        return IconKind::Clock;
    case ViewRules::Category::Completed:
        return IconKind::Check;
    case ViewRules::Category::Errors:
        return IconKind::Warning;
    }
    return IconKind::DownloadTray;
}

} // namespace

CategorySidebar::CategorySidebar(QWidget *parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("categories"));
    setMinimumWidth(165);
    setMaximumWidth(235);
    setIconSize(QSize(18, 18));
    setItemDelegate(new SidebarDelegate(this));
    for (int row = 0; row < ViewRules::categoryCount; ++row) {
        const auto category = ViewRules::Category(row);
        addItem(
            new QListWidgetItem(RushletIcons::icon(iconOf(category)), ViewRules::categoryTitle(category)));
    }
    setCurrentRow(0);
}

QString CategorySidebar::currentTitle() const
{
    const int row = currentRow();
    return ViewRules::categoryTitle(row < 0 ? ViewRules::Category::AllFiles : ViewRules::Category(row));
}
