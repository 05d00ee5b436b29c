#include "relay/KVRRelayPacket.h"

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

KVRRelayPacket::Kind KVRRelayPacket::classify(uint8_t command) {
    using namespace KVRRelayCommand;
    switch (command) {
        case kNATInfo:
        case kEnterRoom:
        case kExitRoom:
        case kReply: return Kind::Reply;
        case kAudio:
        case kRelayedAudio: return Kind::Audio;
        case kVideo:
        case kRelayedVideo: return Kind::Video;
        case kDoc:
        case kRelayedDoc: return Kind::Doc;
        case kText:
        case kRelayedText: return Kind::Text;
        case kAliveCheck: return Kind::AliveCheck;
        default: return Kind::Other;
    }
}

uint8_t KVRRelayPacket::relayedCommand(uint8_t command) {
    if (command >= KVRRelayCommand::kAudio && command <= KVRRelayCommand::kText)
        return static_cast<uint8_t>(command - KVRRelayCommand::kAudio + KVRRelayCommand::kRelayedAudio);
    return command;
}

std::optional<std::vector<uint8_t>> KVRRelayPacket::encode(uint8_t command, uint8_t subCommand, int32_t subRoomNo,
                                                           std::string_view userID,
                                                           std::span<const uint8_t> payload) {
    if (userID.size() > kMaxUserID || payload.size() > kMaxPayload) return std::nullopt;
    KVRByteWriter w(kHeaderSize + payload.size());
    w.u8(command).u8(subCommand).zeros(2).i32(subRoomNo).fixedText(userID, kUserIDField);
    w.u16(static_cast<uint16_t>(payload.size())).bytes(payload);
    return w.take();
}

std::optional<KVRRelayPacket::Decoded> KVRRelayPacket::decode(std::span<const uint8_t> datagram, DecodeError* why) {
    auto fail = [why](DecodeError e) -> std::optional<Decoded> {
        if (why) *why = e;
        return std::nullopt;
    };
    if (why) *why = DecodeError::None;
    if (datagram.size() < kHeaderSize) return fail(DecodeError::Short);
    KVRByteReader r(datagram);
    Decoded d;
    d.header.command = *r.u8();
    d.header.subCommand = *r.u8();
    r.skip(2);
    d.header.subRoomNo = *r.i32();
    d.header.userID = *r.fixedText(kUserIDField);
    d.header.payloadLength = *r.u16();
    auto payload = r.bytes(d.header.payloadLength);
    if (!payload) return fail(DecodeError::Truncated);
    d.payload = *payload;
    return d;
}
