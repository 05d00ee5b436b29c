#pragma once
// Cuts one encoded frame into segments of at most 768 bytes, each behind a 4-byte segment header.
#include <cstdint>
#include <span>

class KVRVideoPktMaker {
public:
    // Borrows the bytes (the caller keeps them alive while segments are fetched); returns the segment count,
    // 0 for an empty frame or one that needs more than 255 segments.
    uint8_t setPacket(const uint8_t* data, uint32_t size);
    // Writes segment `number` (fetched in order from 0) into `packet`; returns 4 + data length, or 0.
    uint32_t getPacket(uint32_t number, std::span<uint8_t> packet);
    void reset();

    // Segments a frame of `size` bytes needs (may exceed 255).
    static uint32_t segmentsFor(uint32_t size);

private:
    uint8_t m_ucTPktCnt = 0;
    uint8_t ucPktIdx = 0;
    const uint8_t* m_lpszPktBuff = nullptr;
    uint32_t m_nPktSize = 0;
    uint32_t m_nRPktSize = 0;
};
