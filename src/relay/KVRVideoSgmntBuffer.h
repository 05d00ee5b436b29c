#pragma once
// Collects the segments of the frame being received from one remote camera and hands the whole frame out
// once. Used by one thread at a time (the tile's lock).
#include <cstdint>
#include <span>
#include <vector>

#include "relay/KVRVideoFrame.h"

class KVRVideoSgmntBuffer {
public:
    KVRVideoSgmntBuffer();

    // `packet` is one segment (4-byte header and data) of `size` bytes. False when refused.
    bool putPacket(uint64_t frameIndex, const uint8_t* packet, uint32_t size);
    // Copies the complete frame into `dest` and returns its length; 0 while incomplete, once handed out,
    // or when `dest` is too small.
    uint32_t getPacket(std::span<uint8_t> dest);
    void setFrameIdx(uint64_t frameIndex) { m_dwFrame = frameIndex; }
    void reset();

    uint64_t frameIdx() const { return m_dwFrame; }
    uint32_t totalSegments() const { return m_nTPktCount; }
    size_t collectedSegments() const { return arrarFrames.size(); }

private:
    uint64_t m_dwFrame = 0;
    uint32_t m_nTPktCount = 0;
    std::vector<KVRVideoFrame> arrarFrames;
    bool m_bHandedOut = false;
};
