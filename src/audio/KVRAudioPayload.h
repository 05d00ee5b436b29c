#pragma once
// The audio payload of relay commands 12 and 41: a little-endian prefix (frame counter, level, header
// flag, media length), an RTP fixed header (big-endian) and one frame of G.711.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace KVRAudioPayload {
constexpr size_t kPrefixSize = 8;
constexpr size_t kRTPHeaderSize = 12;
constexpr size_t kFrameSamples = 160;
constexpr size_t kPCMFrameBytes = 320;
constexpr size_t kCodedFrameBytes = 160;
constexpr size_t kPayloadSize = kPrefixSize + kRTPHeaderSize + kCodedFrameBytes;  // 180
constexpr int16_t kMediaLength = kRTPHeaderSize + kCodedFrameBytes;                 // 172
// At or below this media length a payload stands for a silent frame.
constexpr int16_t kSilenceMediaLength = 25;

// The RTP fixed header for the given codec type (0 PCMU, 1 PCMA, 2 dynamic 102) and frame index
// (frames sent before this one).
void makeRTP(std::span<uint8_t, kRTPHeaderSize> out, int codecType, uint32_t frameIdx, uint32_t syncSource = 0);

// A whole payload: counter (frames sent including this one), level 0..100, header flag 0, RTP header
// and the coded frame.
std::vector<uint8_t> build(uint32_t frameCounter, uint8_t level, std::span<const uint8_t, kCodedFrameBytes> g711,
                           uint32_t syncSource = 0);

enum class ParseResult {
    Frame,    // `coded` holds the 160 bytes to decode
    Silence,  // media length 25 or less: play a silent frame
    Short,    // fewer bytes than the 8-byte prefix
    BadLength // the media length does not cover the bytes a frame needs, or runs past the payload
};

struct Parsed {
    ParseResult result = ParseResult::Short;
    uint32_t frameCounter = 0;
    uint8_t level = 0;
    uint8_t headerFlag = 0;
    int16_t mediaLength = 0;
    std::span<const uint8_t> coded;  // inside the given payload, exactly kCodedFrameBytes when Frame
};

// Checks a received payload against its real length. Never reads outside `payload`.
Parsed parse(std::span<const uint8_t> payload);

// The same check for the media part alone (the bytes from offset 8), as the playback channel gets it.
Parsed parseMedia(int headerFlag, std::span<const uint8_t> media, int mediaLength);
}  // namespace KVRAudioPayload
