#include "audio/KVRAudioPayload.h"

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

namespace KVRAudioPayload {

void makeRTP(std::span<uint8_t, kRTPHeaderSize> out, int codecType, uint32_t frameIdx, uint32_t syncSource) {
    uint8_t payloadType = 0;
    if (codecType == 1) payloadType = 8;
    else if (codecType == 2) payloadType = 102;
    const auto sequence = static_cast<uint16_t>(frameIdx + 1000);
    const uint32_t timestamp = frameIdx * 160u + 1000u;
    out[0] = 0x80;
    out[1] = payloadType;
    out[2] = static_cast<uint8_t>(sequence >> 8);
    out[3] = static_cast<uint8_t>(sequence);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
        out[8 + i] = static_cast<uint8_t>(syncSource >> (24 - 8 * i));
    }
}

std::vector<uint8_t> build(uint32_t frameCounter, uint8_t level, std::span<const uint8_t, kCodedFrameBytes> g711,
                           uint32_t syncSource) {
    uint8_t rtp[kRTPHeaderSize];
    makeRTP(rtp, 0, frameCounter - 1, syncSource);
    KVRByteWriter w(kPayloadSize);
    w.u32(frameCounter).u8(level).u8(0).i16(kMediaLength).bytes(rtp).bytes(g711);
    return w.take();
}

Parsed parseMedia(int headerFlag, std::span<const uint8_t> media, int mediaLength) {
    Parsed p;
    p.headerFlag = static_cast<uint8_t>(headerFlag);
    p.mediaLength = static_cast<int16_t>(mediaLength);
    if (mediaLength <= kSilenceMediaLength) {
        p.result = ParseResult::Silence;
        return p;
    }
    const size_t skip = headerFlag != 0 ? 0 : kRTPHeaderSize;
    // The frame must lie inside both what the sender announced and what actually arrived.
    if (static_cast<size_t>(mediaLength) < skip + kCodedFrameBytes || static_cast<size_t>(mediaLength) > media.size()) {
        p.result = ParseResult::BadLength;
        return p;
    }
    KVRByteReader r(media);
    r.skip(skip);
    p.coded = *r.bytes(kCodedFrameBytes);
    p.result = ParseResult::Frame;
    return p;
}

Parsed parse(std::span<const uint8_t> payload) {
    KVRByteReader r(payload);
    auto counter = r.u32();
    auto level = r.u8();
    auto flag = r.u8();
    auto length = r.i16();
    if (!counter || !level || !flag || !length) return Parsed{};
    Parsed p = parseMedia(*flag, payload.subspan(kPrefixSize), *length);
    p.frameCounter = *counter;
    p.level = *level;
    return p;
}

}  // namespace KVRAudioPayload
