// The browser's framing on the native host's standard input: a 4-byte length, then that many bytes
// of JSON, which the host accepts only as a ping or a valid download request. What the host relays
// in the same framing reads back with the same request.

#include "bridge/protocol/BridgeProtocol.h"
#include "nativehost/NativeMessaging.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QJsonDocument>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A file in memory holding exactly `bytes`, read from its start.
int descriptorHolding(const QByteArray &bytes)
{
    static const int descriptor = ::memfd_create("native-frame", MFD_CLOEXEC);
    FUZZ_REQUIRE(descriptor >= 0);
    FUZZ_REQUIRE(::ftruncate(descriptor, 0) == 0);
    FUZZ_REQUIRE(::pwrite(descriptor, bytes.constData(), size_t(bytes.size()), 0) == bytes.size());
    FUZZ_REQUIRE(::lseek(descriptor, 0, SEEK_SET) == 0);
    return descriptor;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = fuzzBytes(data, size);
    QByteArray body;
    const NativeMessaging::ReadResult result =
        NativeMessaging::readMessage(descriptorHolding(input), 0, body);

    quint32 announced = 0;
    if (input.size() >= 4)
        std::memcpy(&announced, input.constData(), sizeof(announced));
    if (input.size() < 4 || announced < 1 || announced > NativeMessaging::maxMessageBytes) {
        FUZZ_REQUIRE(result == NativeMessaging::ReadResult::InvalidLength);
        return 0;
    }
    if (input.size() - 4 < qsizetype(announced)) {
        FUZZ_REQUIRE(result == NativeMessaging::ReadResult::Incomplete);
        return 0;
    }
    FUZZ_REQUIRE(result == NativeMessaging::ReadResult::Message);
    FUZZ_REQUIRE(body == input.mid(4, announced));

    const QJsonObject request = QJsonDocument::fromJson(body).object();
    const bool ping = request.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("ping"));
    if (!ping && !BridgeProtocol::isValidDownloadRequest(request))
        return 0;

    // What the host relays comes back through the same framing unchanged.
    const int written = descriptorHolding({});
    FUZZ_REQUIRE(NativeMessaging::writeNativeMessage(written, request));
    FUZZ_REQUIRE(::lseek(written, 0, SEEK_SET) == 0);
    QByteArray relayed;
    if (NativeMessaging::readMessage(written, 0, relayed) == NativeMessaging::ReadResult::Message) {
        // Further keys pass through to a program that ignores them; these are the ones it reads.
        const QJsonObject received = QJsonDocument::fromJson(relayed).object();
        for (const char *key : {"type", "url", "id", "filename"})
            FUZZ_REQUIRE(received.value(QLatin1String(key)) == request.value(QLatin1String(key)));
    }
    return 0;
}
