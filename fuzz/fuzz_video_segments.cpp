// Video datagram payloads through reassembly and the decoder. The input is split into payloads by a
// 2-byte length prefix so that one run can build up a whole frame from several segments.
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/KVRLog.h"
#include "relay/KVRVideoPayload.h"
#include "video/KVRVideoReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        return true;
    }();
    (void)once;
    KVRVideoReceiver rx;
    std::span<const uint8_t> rest(data, size);
    while (rest.size() >= 2) {
        size_t len = static_cast<size_t>(rest[0]) | static_cast<size_t>(rest[1]) << 8;
        rest = rest.subspan(2);
        if (len > rest.size()) len = rest.size();
        rx.receivedVideoPayload(rest.first(len));
        kvr::video::parsePayload(rest.first(len));
        rest = rest.subspan(len);
    }
    return 0;
}
