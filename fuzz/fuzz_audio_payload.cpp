// Audio payloads and audio relay datagrams arrive from anyone who can reach the UDP port: feed them
// to the payload parser, a playing channel and the per-user manager. Inputs are copied to buffers of
// their exact size so any read past the end shows up under ASan.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/KVRLog.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"

namespace {
struct Rig {
    std::shared_ptr<KVRSyntheticAudioBackend> backend = std::make_shared<KVRSyntheticAudioBackend>();
    KVRAudioOutputChannel channel{backend};
    KVRAudioOutputChannelManager manager{backend};
    Rig() {
        KVRLogSettings::setEnabled(false);
        backend->setKeepPlayed(false);
        channel.startPlay("u");
        manager.addUser("u");
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    std::vector<uint8_t> exact(data, data + size);
    auto parsed = KVRAudioPayload::parse(exact);
    if (parsed.result == KVRAudioPayload::ParseResult::Frame && parsed.coded.size() != 160) __builtin_trap();
    rig.channel.putAudioPayload(exact, "u");
    if (size >= 3) {
        std::vector<uint8_t> media(data + 3, data + size);
        rig.channel.putDataEx(data[0], media, static_cast<int16_t>(data[1] | data[2] << 8), "u");
    }
    rig.manager.receivedAudioData(exact, (size & 1) != 0);
    rig.backend->tick(1);
    return 0;
}
