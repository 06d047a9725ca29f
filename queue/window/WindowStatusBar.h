#pragma once

#include <QStatusBar>

class QLabel;

// The window's status bar: how many downloads the list holds and how many run on the left, the
// list's total speed on the right. Temporary messages (a failed save, a removal) cover the left
// part for their time.
class WindowStatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit WindowStatusBar(QWidget *parent = nullptr);

    void showTotals(int downloads, int active, double bytesPerSecond);
    // The overall speed limit beside the speed, while one is in force (0 hides it).
    void showSpeedLimit(qint64 bytesPerSecond);

    // The sentence on the left, as the tray icon repeats it.
    QString summary() const;

    // A temporary message over the left part. One that arrives while the window is hidden (the
    // list's start-up message comes before the window is first shown) would run out unseen, and
    // the texts it covers would show through it: it is shown again, for its full time, once the
    // window is.
    void showNotice(const QString &text, int timeoutMs);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *statusLabel;
    QLabel *speedLabel;
    QString unseenNotice;
    int unseenNoticeTimeoutMs = 0;
    QLabel *limitLabel;
};
