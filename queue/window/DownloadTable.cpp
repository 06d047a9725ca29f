#include "queue/window/DownloadTable.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/view/DisplayFormat.h"
#include "queue/window/ProgressDelegate.h"
#include "ui/RushletIcons.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace {

constexpr int fixedRowHeight = 36;
constexpr int minimumColumnWidth = 60;
// Room a cell keeps around a status name.
constexpr int statusPadding = 28;
constexpr int narrowestFileNameWidth = 180;

} // namespace

DownloadTable::DownloadTable(QWidget *parent)
    : QTableWidget(0, ColumnCount, parent)
    , fileIcon(RushletIcons::icon(IconKind::Document))
{
    setHorizontalHeaderLabels({QStringLiteral("File name"), QStringLiteral("Size"),
                               QStringLiteral("Progress"), QStringLiteral("Status"), QStringLiteral("Speed"),
                               QStringLiteral("Remaining")});
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegateForColumn(ProgressColumn, new ProgressDelegate(this));

    // Every row is as high as every other, whatever script or symbol a file name holds.
    QHeaderView *rowHeader = verticalHeader();
    rowHeader->hide();
    rowHeader->setMinimumSectionSize(fixedRowHeight);
    rowHeader->setDefaultSectionSize(fixedRowHeight);
    rowHeader->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView *header = horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(minimumColumnWidth);
    const int widths[ColumnCount] = {280, 85, 130, 110, 100, 85};
    for (int column = 0; column < ColumnCount; ++column)
        setColumnWidth(column, widths[column]);
}

void DownloadTable::showDownloads(const QList<DownloadSnapshot> &downloads)
{
    const int count = int(downloads.size());
    if (rowCount() != count) {
        setRowCount(count);
        rows.resize(count);
    }
    rowById.clear();
    rowById.reserve(count);
    for (int row = 0; row < count; ++row) {
        writeRow(row, downloads.at(row));
        rowById.insert(downloads.at(row).id, row);
    }
}

bool DownloadTable::updateDownload(const DownloadSnapshot &snapshot)
{
    const int row = rowById.value(snapshot.id, -1);
    if (row < 0)
        return false;
    writeRow(row, snapshot);
    return true;
}

void DownloadTable::invalidateTexts()
{
    for (ShownState &state : rows)
        state.written = false;
}

QStringList DownloadTable::shownIds() const
{
    QStringList ids;
    ids.reserve(rows.size());
    for (const ShownState &state : rows)
        ids.append(state.id);
    return ids;
}

QString DownloadTable::idAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows.at(row).id : QString();
}

QString DownloadTable::selectedId() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? QString() : idAt(selected.constFirst().row());
}

bool DownloadTable::selectDownload(const QString &id)
{
    const int row = rowById.value(id, -1);
    if (row < 0)
        return false;
    if (selectedId() != id)
        selectRow(row);
    return true;
}

void DownloadTable::fitColumnsToTexts()
{
    static const QStringList statuses = {DownloadStatus::Queued,      DownloadStatus::Connecting,
                                         DownloadStatus::Downloading, DownloadStatus::Retrying,
                                         DownloadStatus::Paused,      DownloadStatus::Completed,
                                         DownloadStatus::Error,       DownloadStatus::AwaitingConfirmation,
                                         DownloadStatus::Verifying};
    const QFontMetrics cellMetrics(font());
    int widestStatus = 0;
    for (const QString &status : statuses)
        widestStatus = std::max(widestStatus, cellMetrics.horizontalAdvance(Localization::translate(status)));

    // The header measures its sections with its style sheet's padding and rules, in its own font.
    const QHeaderView *header = horizontalHeader();
    int added = 0;
    for (int column = FileNameColumn + 1; column < ColumnCount; ++column) {
        int wanted = header->sectionSizeHint(column);
        if (column == StatusColumn)
            wanted = std::max(wanted, widestStatus + statusPadding);
        if (columnWidth(column) < wanted) {
            added += wanted - columnWidth(column);
            setColumnWidth(column, wanted);
        }
    }
    // File names are elided anyway: their column gives up the room the other texts took, so the
    // table does not grow a scroll bar that hides the last columns.
    const int narrowestName = std::max(narrowestFileNameWidth, header->sectionSizeHint(FileNameColumn));
    setColumnWidth(FileNameColumn, std::max(narrowestName, columnWidth(FileNameColumn) - added));
}

void DownloadTable::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && !indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

QTableWidgetItem *DownloadTable::cell(int row, int column)
{
    QTableWidgetItem *found = item(row, column);
    if (found == nullptr) {
        found = new QTableWidgetItem;
        setItem(row, column, found);
    }
    return found;
}

void DownloadTable::writeRow(int row, const DownloadSnapshot &snapshot)
{
    ShownState &shown = rows[row];
    const bool all = !shown.written;
    const DisplayFormat::Translate translate = &Localization::translate;

    if (all || shown.id != snapshot.id || shown.destination != snapshot.destination) {
        QTableWidgetItem *name = cell(row, FileNameColumn);
        name->setText(DisplayFormat::fileName(snapshot.destination));
        name->setData(Qt::UserRole, snapshot.id);
        name->setIcon(fileIcon);
        name->setToolTip(snapshot.destination);
    }
    if (all || shown.total != snapshot.total)
        cell(row, SizeColumn)->setText(DisplayFormat::formatSize(snapshot.total, translate));
    if (all || shown.status != snapshot.status || shown.received != snapshot.received ||
        shown.total != snapshot.total) {
        const int percent = DisplayFormat::tablePercent(snapshot);
        QTableWidgetItem *progress = cell(row, ProgressColumn);
        progress->setData(ProgressDelegate::percentRole, percent);
        progress->setData(ProgressDelegate::pausedRole, snapshot.status == DownloadStatus::Paused);
        progress->setData(Qt::AccessibleTextRole, DisplayFormat::percentAccessibleText(percent, translate));
    }
    if (all || shown.status != snapshot.status || shown.error != snapshot.error) {
        QTableWidgetItem *status = cell(row, StatusColumn);
        status->setText(Localization::translate(snapshot.status));
        status->setToolTip(snapshot.error);
    }
    if (all || shown.speed != snapshot.speed)
        cell(row, SpeedColumn)->setText(DisplayFormat::formatSpeed(snapshot.speed, translate));
    if (all || shown.speed != snapshot.speed || shown.received != snapshot.received ||
        shown.total != snapshot.total)
        cell(row, RemainingColumn)->setText(DisplayFormat::formatRemaining(snapshot, translate));

    shown = {snapshot.id,       snapshot.destination, snapshot.status, snapshot.error,
             snapshot.received, snapshot.total,       snapshot.speed,  true};
}
