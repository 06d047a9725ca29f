#include "queue/window/WindowStatusBar.h"

#include "i18n/Localization.h"
#include "queue/view/DisplayFormat.h"
#include "queue/view/TransferExtras.h"

#include <QLabel>

#include <utility>

WindowStatusBar::WindowStatusBar(QWidget *parent)
    : QStatusBar(parent)
    , statusLabel(new QLabel(QStringLiteral("Ready · Add a URL to begin"), this))
    , speedLabel(new QLabel(DisplayFormat::formatTotalSpeed(0), this))
    , limitLabel(new QLabel(this))
{
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    speedLabel->setObjectName(QStringLiteral("speedLabel"));
    limitLabel->setObjectName(QStringLiteral("speedLimitLabel"));
    limitLabel->hide();
    addWidget(statusLabel, 1);
    addPermanentWidget(limitLabel);
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

void WindowStatusBar::showNotice(const QString &text, int timeoutMs)
{
    showMessage(text, timeoutMs);
    if (isVisible()) {
        unseenNotice.clear();
        return;
    }
    unseenNotice = text;
    unseenNoticeTimeoutMs = timeoutMs;
}

void WindowStatusBar::showEvent(QShowEvent *event)
{
    QStatusBar::showEvent(event);
    // The labels are visible by now. The same message again would change nothing, so it is
    // cleared first: shown anew, it hides them as it should, and its time starts now.
    if (!unseenNotice.isEmpty()) {
        clearMessage();
        showMessage(std::exchange(unseenNotice, QString()), unseenNoticeTimeoutMs);
    }
}

void WindowStatusBar::showSpeedLimit(qint64 bytesPerSecond)
{
    if (bytesPerSecond > 0)
        limitLabel->setText(Localization::translate(QStringLiteral("Limit %1"))
                                .arg(TransferExtras::formatLimit(bytesPerSecond)));
    limitLabel->setVisible(bytesPerSecond > 0);
}

QString WindowStatusBar::summary() const
{
    return statusLabel->text();
}
