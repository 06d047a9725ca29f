#pragma once

#include "engine/DownloadSnapshot.h"

#include <QTabWidget>

class FileDetailsPage;
class TransferPage;

// The details pane below the table ("downloadInspector"): the "Transfer" and "File details"
// pages of the selected download.
class DetailsPane : public QTabWidget
{
    Q_OBJECT

public:
    explicit DetailsPane(QWidget *parent = nullptr);

    // Shows `snapshot` on both pages; null shows that nothing is selected.
    void showDownload(const DownloadSnapshot *snapshot);

    TransferPage *transferPage() const { return transfer; }

private:
    TransferPage *transfer;
    FileDetailsPage *fileDetails;
};
