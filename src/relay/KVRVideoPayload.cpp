#include "relay/KVRVideoPayload.h"

#include <cstring>

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

namespace kvr::video {

void writeHeader(const KVRVideoHeader& h, std::span<uint8_t> out) {
    if (out.size() < kHeaderSize) return;
    KVRByteWriter w(kHeaderSize);
    w.u8(h.keyFrame).u8(h.cameraNumber).u16(h.codec).u32(h.pictureSize).bytes(h.picture.encode())
        .u32(h.frameIndex).u32(h.segmentLength);
    std::memcpy(out.data(), w.data().data(), kHeaderSize);
}

std::optional<KVRParsedVideoPayload> parsePayload(std::span<const uint8_t> payload, std::string* why) {
    auto refuse = [&](const char* reason) -> std::optional<KVRParsedVideoPayload> {
        if (why) *why = reason;
        return std::nullopt;
    };
    // A failed read does not advance the reader, so later fields could still be read from the wrong
    // offset: the whole header must be there before any field is taken.
    if (payload.size() < kHeaderSize) return refuse("shorter than the video header");
    KVRByteReader r(payload);
    KVRParsedVideoPayload p;
    auto key = r.u8();
    auto cam = r.u8();
    auto codec = r.u16();
    auto picSize = r.u32();
    auto bmiBytes = r.bytes(KVRBitmapInfo::kSize);
    auto frame = r.u32();
    auto segLen = r.u32();
    std::optional<KVRBitmapInfo> bmi;
    if (bmiBytes) bmi = KVRBitmapInfo::decode(*bmiBytes);
    if (!key || !cam || !codec || !picSize || !bmi || !frame || !segLen) return refuse("shorter than the video header");
    p.header.keyFrame = *key;
    p.header.cameraNumber = *cam;
    p.header.codec = *codec;
    p.header.pictureSize = *picSize;
    p.header.picture = *bmi;
    p.header.frameIndex = *frame;
    p.header.segmentLength = *segLen;
    if (*segLen <= kSegmentHeaderSize || *segLen > kSegmentMax) return refuse("segment length out of range");
    auto segment = r.bytes(*segLen);
    if (!segment) return refuse("segment longer than the datagram");
    KVRByteReader s(*segment);
    p.segmentHeader.totalSegments = *s.u8();
    p.segmentHeader.index = *s.u8();
    p.segmentHeader.dataLength = *s.u16();
    if (p.segmentHeader.totalSegments == 0) return refuse("frame of zero segments");
    if (p.segmentHeader.index >= p.segmentHeader.totalSegments) return refuse("segment index beyond the count");
    if (p.segmentHeader.dataLength == 0 || p.segmentHeader.dataLength != *segLen - kSegmentHeaderSize)
        return refuse("segment data length disagrees with the segment length");
    p.segment = *segment;
    return p;
}

}  // namespace kvr::video
