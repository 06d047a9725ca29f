#include "queue/window/CategorySidebar.h"

#include "queue/window/SidebarDelegate.h"
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

constexpr int narrowest = 165;
constexpr int widest = 235;
// What a row needs besides its title: the list's and the item's padding (5 and 8 on each side),
// the icon and the gap after it, and the frame.
constexpr int rowExtra = 2 * 5 + 2 * 8 + 18 + 12 + 4;

} // namespace

CategorySidebar::CategorySidebar(QWidget *parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("categories"));
    setMinimumWidth(narrowest);
    setMaximumWidth(widest);
    // Titles fit the width; a bar to scroll them sideways would only take room.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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

void CategorySidebar::fitToTexts()
{
    const QFontMetrics metrics(font());
    int longest = 0;
    for (int row = 0; row < count(); ++row)
        longest = std::max(longest, metrics.horizontalAdvance(item(row)->text()));
    setMinimumWidth(std::clamp(longest + rowExtra, narrowest, widest));
}
