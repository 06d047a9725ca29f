#pragma once

#include <QObject>

#include <memory>

// Asks the system not to suspend while the program needs it awake, and lets it go again. Requests
// and releases are sent without waiting for an answer; where the system offers no way to ask,
// nothing happens.
//
// Linux: a "sleep" lock of logind on the system bus, held by the descriptor it hands out; where
// logind cannot be reached, the desktop portal's inhibition on the session bus.
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject *parent = nullptr);
    // Releases what is held.
    ~SleepInhibitor() override;

    // Holds the lock while `inhibit` is true; only a change does anything.
    void setInhibited(bool inhibit);
    // What was asked for last.
    bool isInhibited() const { return wanted; }

private:
    struct Lock;
    void request();
    void askPortal(quint64 asking);

    bool wanted = false;
    // Counts the requests, so that an answer to one given up meanwhile is let go at once.
    quint64 requests = 0;
    std::unique_ptr<Lock> lock;
};
