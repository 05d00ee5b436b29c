#pragma once
// The video payload of relay commands 13 and 42: a 60-byte header describing the encoded frame, then one
// segment (4-byte segment header and 1 to 768 bytes of the frame).
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "video/KVRBitmapInfo.h"

namespace kvr::video {
inline constexpr size_t kHeaderSize = 60;
inline constexpr size_t kSegmentHeaderSize = 4;
inline constexpr size_t kSegmentDataMax = 768;
inline constexpr size_t kSegmentMax = kSegmentHeaderSize + kSegmentDataMax;  // 772
inline constexpr size_t kPayloadMax = kHeaderSize + kSegmentMax;             // 832
inline constexpr size_t kSegmentsPerFrameMax = 255;
inline constexpr size_t kFrameMax = kSegmentsPerFrameMax * kSegmentDataMax;  // 195,840
}  // namespace kvr::video

struct KVRVideoHeader {
    uint8_t keyFrame = 0;
    uint8_t cameraNumber = 0;  // the sender's camera index + 1
    uint16_t codec = 1;
    uint32_t pictureSize = 0;
    KVRBitmapInfo picture;  // biSize 40, biSizeImage = encoded frame length
    uint32_t frameIndex = 0;
    uint32_t segmentLength = 0;  // 4 + segment data length
};

struct KVRVideoSegmentHeader {
    uint8_t totalSegments = 0;
    uint8_t index = 0;
    uint16_t dataLength = 0;
};

struct KVRParsedVideoPayload {
    KVRVideoHeader header;
    KVRVideoSegmentHeader segmentHeader;
    std::span<const uint8_t> segment;  // segment header and data, exactly header.segmentLength bytes
};

namespace kvr::video {
// Writes the 60-byte header into the first 60 bytes of `out` (which must hold them).
void writeHeader(const KVRVideoHeader& header, std::span<uint8_t> out);
// Checks every length against the bytes that really arrived; on refusal `why` says what was wrong.
std::optional<KVRParsedVideoPayload> parsePayload(std::span<const uint8_t> payload, std::string* why = nullptr);
}  // namespace kvr::video
