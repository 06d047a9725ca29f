#pragma once

#include <QByteArray>
#include <QJsonObject>

// The browser's framing on the host's standard streams: a 4-byte length in the machine's byte
// order, then that many bytes of UTF-8 JSON.
namespace NativeMessaging {

// Messages in either direction are at most this long.
constexpr quint32 maxMessageBytes = 65536;

enum class ReadResult
{
    Message,
    InvalidLength,
    Incomplete,
};

// Reads one message from `descriptor` into `body`. The browser writes a message at once, so a
// sender that stalls for `timeoutMs` counts as one that stopped, and the host never hangs on it.
ReadResult readMessage(int descriptor, int timeoutMs, QByteArray &body);

// Writes the object in compact form, framed, to `descriptor`; false when not all of it was written.
bool writeNativeMessage(int descriptor, const QJsonObject &message);

} // namespace NativeMessaging
