#pragma once
// The control channel's wire unit: an 8-byte little-endian header (command, sub-command, two reserved
// bytes, payload length) and a text payload of at most 38399 bytes. Shared by the client and the
// development server so the two cannot drift apart.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct KVRControlPacket {
    static constexpr size_t kHeaderSize = 8;
    static constexpr size_t kMaxPayload = 38399;
    static constexpr size_t kMaxPacket = kHeaderSize + kMaxPayload + 1;  // 38408: the receive buffer
    static constexpr uint16_t kSubRequest = 1;
    static constexpr uint16_t kSubSuccess = 2;

    uint16_t command = 0;
    uint16_t subCommand = 0;
    std::vector<uint8_t> payload;

    // The payload read as text up to its first zero byte (or its end).
    std::string payloadText() const;
    // Header plus payload as sent; a payload longer than 38399 bytes is cut to its first 38399.
    std::vector<uint8_t> encode() const;
    static std::vector<uint8_t> encode(uint16_t command, uint16_t subCommand, std::string_view payload);
    // One whole packet from exactly its bytes; nothing when the bytes are short or the length disagrees.
    static std::optional<KVRControlPacket> decode(std::span<const uint8_t> bytes);
};

// Frames the TCP byte stream by the header's length field: packets split across reads or merged into
// one read each come out once and whole.
class KVRControlFramer {
public:
    enum class Status { Ok, Oversize };

    // Appends what arrived and moves every completed packet to `out`. A header announcing more than
    // 38399 payload bytes is a protocol error: Oversize, and the framer keeps nothing of the stream.
    Status feed(std::span<const uint8_t> bytes, std::vector<KVRControlPacket>& out);
    size_t buffered() const { return buffer_.size(); }
    // The length field of the header that caused the last Oversize.
    size_t lastAnnouncedLength() const { return lastAnnounced_; }
    void reset() { buffer_.clear(); }

private:
    std::vector<uint8_t> buffer_;
    size_t lastAnnounced_ = 0;
};
