#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the operating system's requests to end the program (SIGTERM, SIGINT, SIGHUP on Unix)
// into a Qt signal delivered by the event loop, so that they end the program through the same
// path as quitting from the window. The handlers stay installed for the life of the process:
// a second request while the program shuts down is delivered again instead of killing it.
class TerminationSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignalWatcher(QObject *parent = nullptr);
    ~TerminationSignalWatcher() override;

    // False when the handlers could not be installed; the program then ends by default rules.
    bool isActive() const { return notifier != nullptr; }

signals:
    // The number of the signal that asked the program to end (for example 15 for SIGTERM).
    void terminationRequested(int signalNumber);

private:
    void readPendingSignals();

    QSocketNotifier *notifier = nullptr;
};
