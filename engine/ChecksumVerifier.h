#pragma once

#include "engine/ChecksumRules.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// Hashes a finished partial file on a thread of its own, so that the engine's thread stays free to
// pause while a large file is checked. Progress and the outcome are read through atomics; `done`
// runs on the hashing thread once the outcome is known, never after cancel(). Destroying the
// verifier cancels it and waits for its thread, which stops within one read.
class ChecksumVerifier
{
public:
    ChecksumVerifier(const QString &path, ChecksumRules::Algorithm algorithm, std::function<void()> done);
    ~ChecksumVerifier();

    ChecksumVerifier(const ChecksumVerifier &) = delete;
    ChecksumVerifier &operator=(const ChecksumVerifier &) = delete;

    qint64 hashedBytes() const { return hashed.load(std::memory_order_relaxed); }
    bool isFinished() const { return finished.load(std::memory_order_acquire); }
    // Valid once finished: the digest in lower-case hexadecimal, or empty with the reason the file
    // could not be read.
    QByteArray digestHex() const { return digest; }
    QString errorText() const { return error; }

    void cancel() { cancelled.store(true, std::memory_order_relaxed); }

private:
    void run(const QString &path, ChecksumRules::Algorithm algorithm);

    std::function<void()> done;
    std::atomic<qint64> hashed{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    QByteArray digest;
    QString error;
    std::thread worker;
};
