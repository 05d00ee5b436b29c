// Relay datagrams arrive from anyone who can reach the UDP port: feed them to the client's receive
// classification, to the header decoder and to the development relay's member and forwarding logic.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "KVRDevRelay.h"
#include "app/KVRLog.h"
#include "relay/KVRRelayDataSink.h"
#include "relay/KVRRelayPacket.h"
#include "relay/KVRRelayServer.h"

namespace {
// Touches every byte it is given, so an over-long span shows up under ASan.
class TouchingSink : public KVRRelayDataSink {
public:
    void receivedAudioData(std::span<const uint8_t> d, const KVRRelayAddress&) override { touch(d); }
    void receivedVideoData(std::span<const uint8_t> d, const KVRRelayAddress&) override { touch(d); }
    void receivedDocmentData(std::span<const uint8_t> d, const KVRRelayAddress&) override { touch(d); }
    void receivedTextData(std::span<const uint8_t> d, const KVRRelayAddress&) override { touch(d); }
    volatile uint8_t sum = 0;

private:
    void touch(std::span<const uint8_t> d) {
        for (auto b : d) sum = static_cast<uint8_t>(sum + b);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto sink = std::make_shared<TouchingSink>();
    static std::shared_ptr<KVRRelayServer> client = [] {
        KVRLogSettings::setEnabled(false);
        KVRRelayServer::Options o;
        o.bindAddress = "127.0.0.1";
        auto c = KVRRelayServer::initWithDelegateEx(o);
        if (c) c->setDataSink(sink);
        return c;
    }();
    static KVRDevRelay relay([] {
        KVRDevRelay::Options o;
        o.sweepInterval = std::chrono::milliseconds(0);
        o.log = [](const std::string&) {};
        return o;
    }());

    std::span<const uint8_t> bytes(data, size);
    if (auto d = KVRRelayPacket::decode(bytes)) {
        volatile size_t n = d->payload.size() + d->header.userID.size();
        (void)n;
    }
    if (client) client->udpSocket(bytes, {"127.0.0.1", 1});
    // The last byte picks the apparent sender port so that several members come and go.
    relay.handleDatagram(std::vector<uint8_t>(data, data + size), "127.0.0.1",
                         static_cast<uint16_t>(1000 + (size ? data[size - 1] % 8 : 0)));
    if (relay.members().size() > 256) relay.forgetSilentMembers();
    return 0;
}
