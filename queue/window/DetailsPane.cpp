#include "queue/window/DetailsPane.h"

#include "queue/window/FileDetailsPage.h"
#include "queue/window/TransferPage.h"

#include <QScrollArea>
#include <QTabBar>

namespace {

// A page taller than the pane scrolls instead of squeezing its lines into each other: a long
// error or a path that wraps must stay readable when the user makes the pane small.
QScrollArea *scrolling(QWidget *page, QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(page);
    return area;
}

} // namespace

DetailsPane::DetailsPane(QWidget *parent)
    : QTabWidget(parent)
    , transfer(new TransferPage(this))
    , fileDetails(new FileDetailsPage(this))
{
    setObjectName(QStringLiteral("downloadInspector"));
    setDocumentMode(true);
    // The pane's style sheet draws the rule under the tabs; the style's own base line would be a
    // second one, bright in the dark scheme.
    tabBar()->setDrawBase(false);
    setMinimumHeight(220);
    addTab(scrolling(transfer, this), QStringLiteral("Transfer"));
    addTab(scrolling(fileDetails, this), QStringLiteral("File details"));
}

void DetailsPane::showDownload(const DownloadSnapshot *snapshot)
{
    transfer->showDownload(snapshot);
    fileDetails->showDownload(snapshot);
}
