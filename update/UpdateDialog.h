#pragma once

#include "update/UpdateChecker.h"
#include "update/UpdateFeed.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;

// The small non-modal "Check for Updates" window: what a check has come to, the release notes of
// an available update, and the buttons to retry or to fetch the update. It only shows; the
// checker decides what a retry or a download does.
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateDialog(QWidget *parent);

    // Shows this outcome of a check now and again after every language switch.
    void display(UpdateChecker::State state, const UpdateFeed &feed, const QString &errorText);
    // The desktop did not take the download link.
    void showLinkFailure();

signals:
    void retryRequested();
    void downloadRequested();

private:
    void refresh();

    QLabel *title = nullptr;
    QLabel *detail = nullptr;
    QTextEdit *notes = nullptr;
    QPushButton *done = nullptr;
    QPushButton *retry = nullptr;
    QPushButton *download = nullptr;

    UpdateChecker::State state = UpdateChecker::State::Idle;
    UpdateFeed feed;
    QString errorText;
};
