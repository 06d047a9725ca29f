#pragma once

#include "engine/DownloadSnapshot.h"

#include <QWidget>

class QFormLayout;
class QLabel;

// The details pane's "File details" page: file name, source URL, where the file is saved, its
// size and status, as a form of captions and values.
class FileDetailsPage : public QWidget
{
    Q_OBJECT

public:
    explicit FileDetailsPage(QWidget *parent = nullptr);

    // Shows `snapshot`, or empty values when it is null.
    void showDownload(const DownloadSnapshot *snapshot);

private:
    QLabel *addRow(QFormLayout *form, const QString &caption);

    QLabel *fileName = nullptr;
    QLabel *sourceUrl = nullptr;
    QLabel *savedTo = nullptr;
    QLabel *fileSize = nullptr;
    QLabel *status = nullptr;
};
