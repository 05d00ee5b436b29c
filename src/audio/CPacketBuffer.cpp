#include "audio/CPacketBuffer.h"

#include <cstring>

CPacketBuffer::CPacketBuffer() {
    auto* slot = new stPKT_BUFF_DATAtag;
    slot->next = slot;
    m_pstPktCurPut = m_pstPktCurGet = slot;
}

CPacketBuffer::~CPacketBuffer() {
    auto* start = m_pstPktCurPut;
    auto* slot = start->next;
    while (slot != start) {
        auto* next = slot->next;
        delete slot;
        slot = next;
    }
    delete start;
}

bool CPacketBuffer::put(std::span<const uint8_t> data) {
    if (data.size() > kSlotBytes) return false;
    auto* start = m_pstPktCurPut;
    auto* slot = start;
    auto* last = start;
    while (slot->used) {
        last = slot;
        slot = slot->next;
        if (slot == start) {
            auto* fresh = new stPKT_BUFF_DATAtag;
            fresh->next = start;
            last->next = fresh;
            slot = fresh;
            ++slotCount_;
            break;
        }
    }
    if (!data.empty()) std::memcpy(slot->data, data.data(), data.size());
    slot->length = static_cast<int32_t>(data.size());
    slot->used = true;
    m_pstPktCurPut = slot->next;
    ++packetCount_;
    return true;
}

bool CPacketBuffer::get(std::span<uint8_t> destination, int32_t& length) {
    auto* slot = m_pstPktCurGet;
    if (!slot->used) return false;
    if (destination.size() < static_cast<size_t>(slot->length)) return false;
    if (slot->length > 0) std::memcpy(destination.data(), slot->data, static_cast<size_t>(slot->length));
    length = slot->length;
    slot->used = false;
    m_pstPktCurGet = slot->next;
    --packetCount_;
    return true;
}

void CPacketBuffer::clear() {
    while (m_pstPktCurGet->used) {
        m_pstPktCurGet->used = false;
        m_pstPktCurGet = m_pstPktCurGet->next;
        --packetCount_;
    }
}
