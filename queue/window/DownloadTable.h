#pragma once

#include "engine/DownloadSnapshot.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QTableWidget>

// The download table: one row per shown download with its file name, size, progress, status,
// speed and remaining time. Rows are kept in step with the list cheaply: a refresh writes a cell
// only when what it shows changed, and the table is laid out again only when the number of rows
// changes, so that progress reports of a few downloads in a list of thousands cost almost
// nothing.
class DownloadTable : public QTableWidget
{
    Q_OBJECT

public:
    enum Column
    {
        FileNameColumn,
        SizeColumn,
        ProgressColumn,
        StatusColumn,
        SpeedColumn,
        RemainingColumn,
        ColumnCount
    };

    explicit DownloadTable(QWidget *parent = nullptr);

    // Shows exactly `downloads`, in this order.
    void showDownloads(const QList<DownloadSnapshot> &downloads);
    // Writes the new state of a download into its row; false when the download is not shown.
    bool updateDownload(const DownloadSnapshot &snapshot);
    // Forgets what the cells show, so that the next showDownloads() writes every cell again: the
    // language changed, and with it every translated text.
    void invalidateTexts();

    // The ids in row order.
    QStringList shownIds() const;
    bool isShown(const QString &id) const { return rowById.contains(id); }
    QString idAt(int row) const;
    // The id of the selected row; empty when no row is selected.
    QString selectedId() const;
    // Selects the row of `id`, unless it is selected already (which would scroll the view);
    // false when the download is not shown.
    bool selectDownload(const QString &id);

    // Widens columns whose header, and the Status column whose longest status name, would not be
    // readable in the language in force, taking the room from the File name column down to 180
    // pixels. Never narrows another column.
    void fitColumnsToTexts();

protected:
    // A right click on empty space below the rows keeps the selection, so that the selected
    // download's commands stay at hand; a click on a row selects it as usual.
    void mousePressEvent(QMouseEvent *event) override;

private:
    // What a row's cells were last written from; a cell is written again only when one of the
    // fields it shows differs.
    struct ShownState
    {
        QString id;
        QString destination;
        QString status;
        QString error;
        qint64 received = 0;
        qint64 total = 0;
        double speed = 0;
        bool written = false;
    };

    void writeRow(int row, const DownloadSnapshot &snapshot);
    QTableWidgetItem *cell(int row, int column);

    QList<ShownState> rows;
    QHash<QString, int> rowById;
    QIcon fileIcon;
};
