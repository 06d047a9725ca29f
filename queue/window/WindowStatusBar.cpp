#include "queue/window/WindowStatusBar.h"

#include "i18n/Localization.h"
#include "queue/view/DisplayFormat.h"

#include <QLabel>

WindowStatusBar::WindowStatusBar(QWidget *parent)
    : QStatusBar(parent)
    , statusLabel(new QLabel(QStringLiteral("Ready · Add a URL to begin"), this))
    , speedLabel(new QLabel(DisplayFormat::formatTotalSpeed(0), this))
{
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    speedLabel->setObjectName(QStringLiteral("speedLabel"));
    addWidget(statusLabel, 1);
    addPermanentWidget(speedLabel);
    setSizeGripEnabled(true);
}

void WindowStatusBar::showTotals(int downloads, int active, double bytesPerSecond)
{
    if (downloads == 0)
        statusLabel->setText(Localization::translate(QStringLiteral("Ready · Add a URL to begin")));
    else
        statusLabel->setText(
            Localization::translate(QStringLiteral("%1 · %2 · Progress saved automatically"))
                .arg(Localization::translateCount(QStringLiteral("%n download|%n downloads"), downloads),
                     Localization::translateCount(QStringLiteral("%n active|%n active"), active)));
    speedLabel->setText(DisplayFormat::formatTotalSpeed(bytesPerSecond));
}

QString WindowStatusBar::summary() const
{
    return statusLabel->text();
}
