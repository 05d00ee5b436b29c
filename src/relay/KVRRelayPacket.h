#pragma once
// The relay datagram: a 34-byte little-endian header (command, sub-command, two reserved bytes, signed
// 32-bit sub-room number, 24-byte NUL-terminated user id, 16-bit payload length) and the payload.
// Shared by the relay client and the development relay so the two cannot drift apart.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace KVRRelayCommand {
constexpr uint8_t kNATInfo = 1;
constexpr uint8_t kAudio = 12;
constexpr uint8_t kVideo = 13;
constexpr uint8_t kDoc = 14;
constexpr uint8_t kText = 15;
constexpr uint8_t kAliveCheck = 30;
constexpr uint8_t kEnterRoom = 31;
constexpr uint8_t kExitRoom = 32;
constexpr uint8_t kRelayedAudio = 41;
constexpr uint8_t kRelayedVideo = 42;
constexpr uint8_t kRelayedDoc = 43;
constexpr uint8_t kRelayedText = 44;
constexpr uint8_t kReply = 50;
}  // namespace KVRRelayCommand

struct KVRRelayHeader {
    uint8_t command = 0;
    uint8_t subCommand = 0;
    int32_t subRoomNo = 0;
    std::string userID;
    uint16_t payloadLength = 0;
};

struct KVRRelayPacket {
    static constexpr size_t kHeaderSize = 34;
    static constexpr size_t kUserIDField = 24;
    static constexpr size_t kMaxUserID = kUserIDField - 1;  // one byte stays for the NUL
    static constexpr size_t kMaxPayload = 38402;
    static constexpr size_t kMaxDatagram = kHeaderSize + kMaxPayload;  // 38436
    static constexpr uint8_t kSubRequest = 1;

    // What a received command means to its receiver.
    enum class Kind { Reply, Audio, Video, Doc, Text, AliveCheck, Other };
    static Kind classify(uint8_t command);
    // 12..15 as the relay forwards them (41..44); any other command unchanged.
    static uint8_t relayedCommand(uint8_t command);

    // Header and payload as sent, or nothing when the user id does not fit its field (it would have to
    // be cut, and a cut id may be another user's) or the payload is longer than the wire allows.
    static std::optional<std::vector<uint8_t>> encode(uint8_t command, uint8_t subCommand, int32_t subRoomNo,
                                                      std::string_view userID, std::span<const uint8_t> payload);

    enum class DecodeError { None, Short, Truncated };
    struct Decoded {
        KVRRelayHeader header;
        std::span<const uint8_t> payload;  // exactly payloadLength bytes, inside the given buffer
    };
    // The header of a received datagram and a view of its payload. Nothing when the datagram is shorter
    // than the header or announces more payload than arrived; bytes beyond the announced payload are
    // not part of it.
    static std::optional<Decoded> decode(std::span<const uint8_t> datagram, DecodeError* why = nullptr);
};
