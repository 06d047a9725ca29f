#include "nativehost/NativeMessaging.h"

#include <QDeadlineTimer>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace NativeMessaging {

namespace {

// Reads up to `size` bytes; fewer only when the input ended or the deadline passed.
qsizetype readFully(int descriptor, char *data, qsizetype size, const QDeadlineTimer &deadline)
{
    qsizetype done = 0;
    while (done < size) {
        pollfd readable{descriptor, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t count = ::read(descriptor, data + done, size_t(size - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += count;
    }
    return done;
}

bool writeFully(int descriptor, const char *data, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t count = ::write(descriptor, data + done, size_t(size - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += count;
    }
    return true;
}

} // namespace

ReadResult readMessage(int descriptor, int timeoutMs, QByteArray &body)
{
    const QDeadlineTimer deadline(timeoutMs);
    char prefix[sizeof(quint32)];
    if (readFully(descriptor, prefix, sizeof(prefix), deadline) != qsizetype(sizeof(prefix)))
        return ReadResult::InvalidLength;
    quint32 length = 0;
    std::memcpy(&length, prefix, sizeof(length));
    if (length < 1 || length > maxMessageBytes)
        return ReadResult::InvalidLength;
    body.resize(length);
    if (readFully(descriptor, body.data(), body.size(), deadline) != body.size())
        return ReadResult::Incomplete;
    return ReadResult::Message;
}

bool writeNativeMessage(int descriptor, const QJsonObject &message)
{
    const QByteArray body = QJsonDocument(message).toJson(QJsonDocument::Compact);
    const quint32 length = quint32(body.size());
    char prefix[sizeof(quint32)];
    std::memcpy(prefix, &length, sizeof(length));
    // Unbuffered writes: nothing waits in a buffer when the program ends.
    return writeFully(descriptor, prefix, sizeof(prefix)) &&
           writeFully(descriptor, body.constData(), body.size());
}

} // namespace NativeMessaging
