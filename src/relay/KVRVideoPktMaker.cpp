#include "relay/KVRVideoPktMaker.h"

#include <algorithm>
#include <cstring>

#include "relay/KVRVideoPayload.h"

uint32_t KVRVideoPktMaker::segmentsFor(uint32_t size) {
    return static_cast<uint32_t>((static_cast<uint64_t>(size) + kvr::video::kSegmentDataMax - 1) /
                                 kvr::video::kSegmentDataMax);
}

uint8_t KVRVideoPktMaker::setPacket(const uint8_t* data, uint32_t size) {
    reset();
    const uint32_t count = segmentsFor(size);
    // The count travels in 8 bits: a frame of more segments cannot be described, so none are made.
    if (!data || count == 0 || count > kvr::video::kSegmentsPerFrameMax) return 0;
    m_lpszPktBuff = data;
    m_nPktSize = size;
    m_nRPktSize = size;
    m_ucTPktCnt = static_cast<uint8_t>(count);
    return m_ucTPktCnt;
}

uint32_t KVRVideoPktMaker::getPacket(uint32_t number, std::span<uint8_t> packet) {
    if (!m_lpszPktBuff || number >= m_ucTPktCnt || m_nRPktSize == 0) return 0;
    const uint32_t n = std::min<uint32_t>(m_nRPktSize, kvr::video::kSegmentDataMax);
    if (packet.size() < kvr::video::kSegmentHeaderSize + n) return 0;
    packet[0] = m_ucTPktCnt;
    packet[1] = ucPktIdx;
    packet[2] = static_cast<uint8_t>(n & 0xff);
    packet[3] = static_cast<uint8_t>(n >> 8);
    std::memcpy(packet.data() + kvr::video::kSegmentHeaderSize, m_lpszPktBuff + (m_nPktSize - m_nRPktSize), n);
    m_nRPktSize -= n;
    ++ucPktIdx;
    return kvr::video::kSegmentHeaderSize + n;
}

void KVRVideoPktMaker::reset() {
    m_ucTPktCnt = 0;
    ucPktIdx = 0;
    m_lpszPktBuff = nullptr;
    m_nPktSize = 0;
    m_nRPktSize = 0;
}
