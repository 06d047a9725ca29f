#include "queue/window/TransferPage.h"

#include "i18n/Localization.h"
#include "queue/view/DisplayFormat.h"
#include "queue/window/PaneLabels.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

constexpr int segmentScale = 1000;
constexpr int segmentBarHeight = 7;

} // namespace

TransferPage::TransferPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("inspectorPage"));
    // A widget class of our own paints a style sheet's background only when asked to.
    setAttribute(Qt::WA_StyledBackground, true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(16);
    title = PaneLabels::createValue(this);
    title->setFont(PaneLabels::emphasisFont());
    statusBadge = PaneLabels::create(this, QStringLiteral("transferStatus"));
    titleRow->addWidget(title, 1);
    titleRow->addWidget(statusBadge, 0, Qt::AlignRight | Qt::AlignTop);
    layout->addLayout(titleRow);

    auto *progressRow = new QHBoxLayout;
    progressLine = PaneLabels::create(this, QStringLiteral("secondary"));
    percent = PaneLabels::create(this);
    percent->setFont(PaneLabels::emphasisFont());
    progressRow->addWidget(progressLine, 1);
    progressRow->addWidget(percent);
    layout->addLayout(progressRow);

    barRow = new QHBoxLayout;
    barRow->setSpacing(5);
    layout->addLayout(barRow);

    auto *connectionRow = new QHBoxLayout;
    connections = PaneLabels::create(this, QStringLiteral("secondary"));
    resumeSupport = PaneLabels::create(this, QStringLiteral("secondary"));
    resumeSupport->setWordWrap(true);
    resumeSupport->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connectionRow->addWidget(connections);
    connectionRow->addWidget(resumeSupport, 1);
    layout->addLayout(connectionRow);

    activity = PaneLabels::create(this, QStringLiteral("secondary"));
    layout->addWidget(activity);
    saveTo = PaneLabels::createValue(this, QStringLiteral("secondary"));
    layout->addWidget(saveTo);
    error = PaneLabels::createValue(this, QStringLiteral("transferError"));
    layout->addWidget(error);
    layout->addStretch(1);

    clear();
}

void TransferPage::showDownload(const DownloadSnapshot *snapshot)
{
    if (snapshot == nullptr) {
        clear();
        return;
    }
    const DisplayFormat::Translate translate = &Localization::translate;
    title->setText(DisplayFormat::fileName(snapshot->destination));
    statusBadge->setText(Localization::translate(snapshot->status));
    statusBadge->show();
    percent->setText(DisplayFormat::detailedPercent(*snapshot));
    connections->setText(Localization::translateCount(QStringLiteral("%n connection|%n parallel connections"),
                                                      DisplayFormat::connectionCount(*snapshot)));
    showSegments(snapshot->segments);
    progressLine->setText(DisplayFormat::progressText(*snapshot, translate));
    activity->setText(DisplayFormat::activityText(*snapshot, translate));
    // An empty line would leave a gap between the connections and the destination.
    activity->setVisible(!activity->text().isEmpty());
    resumeSupport->setText(DisplayFormat::resumeSupportText(*snapshot, translate));
    saveTo->setText(Localization::translate(QStringLiteral("Save to: %1"))
                        .arg(QDir::toNativeSeparators(snapshot->destination)));
    error->setText(snapshot->error);
    error->setVisible(!snapshot->error.isEmpty());
}

void TransferPage::showSegments(const QList<SegmentProgress> &segments)
{
    while (bars.size() > segments.size())
        delete bars.takeLast();
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i == bars.size()) {
            auto *bar = new QProgressBar(this);
            bar->setRange(0, segmentScale);
            bar->setTextVisible(false);
            bar->setFixedHeight(segmentBarHeight);
            // Sixteen bars share the row whatever its width instead of pushing the pane's
            // other lines off its edge.
            bar->setMinimumWidth(1);
            bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            barRow->addWidget(bar);
            bars.append(bar);
        }
        QProgressBar *bar = bars.at(i);
        bar->setValue(DisplayFormat::segmentPermille(segments.at(i)));
        bar->setToolTip(DisplayFormat::segmentToolTip(segments.at(i), &Localization::translate));
    }
}

void TransferPage::clear()
{
    showSegments({});
    title->setText(Localization::translate(QStringLiteral("Select a download to view its details")));
    for (QLabel *label :
         {statusBadge, progressLine, percent, connections, resumeSupport, activity, saveTo, error})
        label->clear();
    statusBadge->hide();
    error->hide();
}
