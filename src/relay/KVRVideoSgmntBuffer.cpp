#include "relay/KVRVideoSgmntBuffer.h"

#include <algorithm>
#include <cstring>

#include "app/KVRByteReader.h"
#include "relay/KVRVideoPayload.h"

void KVRVideoFrame::setFrame(const uint8_t* data, uint32_t size) {
    frameSize = std::min(size, kRoom);
    if (data && frameSize) std::memcpy(frame.data(), data, frameSize);
}

KVRVideoSgmntBuffer::KVRVideoSgmntBuffer() { arrarFrames.reserve(kvr::video::kSegmentsPerFrameMax); }

bool KVRVideoSgmntBuffer::putPacket(uint64_t frameIndex, const uint8_t* packet, uint32_t size) {
    if (!packet || size > kvr::video::kSegmentMax || size <= kvr::video::kSegmentHeaderSize) return false;
    KVRByteReader r(std::span<const uint8_t>(packet, size));
    const uint8_t total = *r.u8();
    r.skip(1);  // the index: segments arrive in order, as the relay forwards them
    const uint16_t dataLength = *r.u16();
    if (dataLength == 0 || dataLength > r.remaining()) return false;

    if (frameIndex < m_dwFrame) {
        // Far below: the sender restarted its numbering, so the next segment of any frame starts over.
        if (m_dwFrame - frameIndex > 20) m_dwFrame = 0;
        return false;
    }
    if (frameIndex > m_dwFrame) {
        reset();
        if (total == 0) return false;
        m_nTPktCount = total;
    }
    // Never collect more segments than the frame announced: bounds the bytes held per frame.
    if (m_nTPktCount == 0 || arrarFrames.size() >= m_nTPktCount) return false;
    m_dwFrame = frameIndex;
    arrarFrames.emplace_back().setFrame(packet + kvr::video::kSegmentHeaderSize, dataLength);
    return true;
}

uint32_t KVRVideoSgmntBuffer::getPacket(std::span<uint8_t> dest) {
    if (m_bHandedOut || m_nTPktCount == 0 || arrarFrames.size() != m_nTPktCount) return 0;
    size_t total = 0;
    for (const auto& f : arrarFrames) total += f.getSize();
    if (total > dest.size()) return 0;
    size_t at = 0;
    for (const auto& f : arrarFrames) {
        std::memcpy(dest.data() + at, f.getFrame(), f.getSize());
        at += f.getSize();
    }
    m_bHandedOut = true;
    return static_cast<uint32_t>(total);
}

void KVRVideoSgmntBuffer::reset() {
    m_dwFrame = 0;
    m_nTPktCount = 0;
    arrarFrames.clear();
    m_bHandedOut = false;
}
