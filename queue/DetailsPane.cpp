#include "queue/DetailsPane.h"

#include "queue/FileDetailsPage.h"
#include "queue/TransferPage.h"

DetailsPane::DetailsPane(QWidget *parent)
    : QTabWidget(parent)
    , transfer(new TransferPage(this))
    , fileDetails(new FileDetailsPage(this))
{
    setObjectName(QStringLiteral("downloadInspector"));
    setDocumentMode(true);
    setMinimumHeight(220);
    addTab(transfer, QStringLiteral("Transfer"));
    addTab(fileDetails, QStringLiteral("File details"));
}

void DetailsPane::showDownload(const DownloadSnapshot *snapshot)
{
    transfer->showDownload(snapshot);
    fileDetails->showDownload(snapshot);
}
