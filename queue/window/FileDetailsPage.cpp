#include "queue/window/FileDetailsPage.h"

#include "i18n/Localization.h"
#include "queue/view/DisplayFormat.h"
#include "queue/view/TransferExtras.h"
#include "queue/window/PaneLabels.h"

#include <QDir>
#include <QFormLayout>
#include <QLabel>

namespace {

constexpr int captionMinimumWidth = 82;

} // namespace

FileDetailsPage::FileDetailsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("inspectorPage"));
    // A widget class of our own paints a style sheet's background only when asked to.
    setAttribute(Qt::WA_StyledBackground, true);
    auto *form = new QFormLayout(this);
    form->setContentsMargins(20, 16, 20, 16);
    form->setHorizontalSpacing(24);
    form->setVerticalSpacing(11);
    fileName = addRow(form, QStringLiteral("File name"));
    fileName->setFont(PaneLabels::emphasisFont());
    sourceUrl = addRow(form, QStringLiteral("Source URL"));
    savedTo = addRow(form, QStringLiteral("Saved to"));
    fileSize = addRow(form, QStringLiteral("File size"));
    status = addRow(form, QStringLiteral("Status"));
    speedLimit = addRow(form, QStringLiteral("Speed limit"));
    checksum = addRow(form, QStringLiteral("Checksum"));
}

QLabel *FileDetailsPage::addRow(QFormLayout *form, const QString &caption)
{
    QLabel *captionLabel = PaneLabels::create(this, QStringLiteral("secondary"));
    captionLabel->setText(caption);
    captionLabel->setMinimumWidth(captionMinimumWidth);
    QLabel *value = PaneLabels::createValue(this);
    form->addRow(captionLabel, value);
    return value;
}

void FileDetailsPage::showDownload(const DownloadSnapshot *snapshot)
{
    if (snapshot == nullptr) {
        for (QLabel *value : {fileName, sourceUrl, savedTo, fileSize, status, speedLimit, checksum})
            value->clear();
        return;
    }
    fileName->setText(DisplayFormat::fileName(snapshot->destination));
    sourceUrl->setText(snapshot->url.toDisplayString());
    savedTo->setText(QDir::toNativeSeparators(snapshot->destination));
    fileSize->setText(DisplayFormat::formatSize(snapshot->total, &Localization::translate));
    status->setText(Localization::translate(snapshot->status));
    speedLimit->setText(TransferExtras::limitText(*snapshot, &Localization::translate));
    checksum->setText(TransferExtras::checksumText(*snapshot, &Localization::translate));
}
