#pragma once

#include "engine/DownloadSnapshot.h"

#include <QWidget>

class QFormLayout;
class QLabel;

// The details pane's "File details" page: file name, source URL, where the file is saved, its
// size and status, its own speed limit and its checksum (verified, once it is complete), as a
// form of captions and values.
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
    QLabel *speedLimit = nullptr;
    QLabel *checksum = nullptr;
};
