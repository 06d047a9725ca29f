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

private:
    QLabel *statusLabel;
    QLabel *speedLabel;
    QLabel *limitLabel;
};
