#pragma once
// FIFO of packets in a ring of fixed-size slots that only grows: a put into a full ring links one new
// slot in front of the oldest packet, so reads stay first in, first out and slots are reused forever.
// No lock of its own: owners serialise put and get (or keep to one producer and one consumer under
// their own lock).
#include <cstddef>
#include <cstdint>
#include <span>

class CPacketBuffer {
public:
    static constexpr size_t kSlotBytes = 36000;

    CPacketBuffer();
    ~CPacketBuffer();
    CPacketBuffer(const CPacketBuffer&) = delete;
    CPacketBuffer& operator=(const CPacketBuffer&) = delete;

    // Refuses (false, nothing stored) a packet larger than a slot.
    bool put(std::span<const uint8_t> data);
    // Copies the oldest packet into `destination` and reports its length. False when empty, or when
    // `destination` is too small (the packet then stays queued).
    bool get(std::span<uint8_t> destination, int32_t& length);
    // Drops every queued packet; the slots are kept for reuse.
    void clear();

    uint32_t packetCount() const { return packetCount_; }
    size_t slotCount() const { return slotCount_; }

private:
    struct stPKT_BUFF_DATAtag {
        bool used = false;
        int32_t length = 0;
        uint8_t data[kSlotBytes];
        stPKT_BUFF_DATAtag* next = nullptr;
    };
    stPKT_BUFF_DATAtag* m_pstPktCurPut;
    stPKT_BUFF_DATAtag* m_pstPktCurGet;
    uint32_t packetCount_ = 0;
    size_t slotCount_ = 1;
};
