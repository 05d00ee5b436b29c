// The control stream comes straight from the network: frame arbitrary bytes in chunks of varying size
// and classify every packet, as the client's reader does, against an arbitrary pending request.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "app/KVRLog.h"
#include "control/KVRMainServer.h"
#include "control/KVRServerAlarmSink.h"

namespace {
class CountingSink : public KVRServerAlarmSink {
public:
    void serverAlarmPacket(const KVRControlPacket& packet) override { bytes += packet.payloadText().size(); }
    void criticalError(const std::string&) override {}
    size_t bytes = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        return true;
    }();
    (void)once;
    if (size < 3) return 0;
    auto sink = std::make_shared<CountingSink>();
    KVRMainServer server;
    server.setAlarmSink(sink);
    // Without a connection nothing is written; this only sets the command a reply would answer.
    server.sendPacket(static_cast<uint16_t>(data[0] | (data[1] << 8)), 1, std::nullopt);
    const size_t chunk = 1 + data[2] % 64;
    std::span<const uint8_t> rest(data + 3, size - 3);
    while (!rest.empty()) {
        size_t n = rest.size() < chunk ? rest.size() : chunk;
        if (!server.receivedBytes(rest.first(n))) break;
        rest = rest.subspan(n);
    }
    if (auto reply = server.receivedData()) (void)reply->payloadText();
    return 0;
}
