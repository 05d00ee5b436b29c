#include "control/KVRControlPacket.h"

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

std::string KVRControlPacket::payloadText() const {
    size_t len = 0;
    while (len < payload.size() && payload[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(payload.data()), len);
}

std::vector<uint8_t> KVRControlPacket::encode(uint16_t command, uint16_t subCommand, std::string_view text) {
    if (text.size() > kMaxPayload) text = text.substr(0, kMaxPayload);
    KVRByteWriter w(kHeaderSize + text.size());
    w.u16(command).u16(subCommand).u16(0).u16(static_cast<uint16_t>(text.size())).text(text);
    return w.take();
}

std::vector<uint8_t> KVRControlPacket::encode() const {
    return encode(command, subCommand,
                  std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
}

std::optional<KVRControlPacket> KVRControlPacket::decode(std::span<const uint8_t> bytes) {
    KVRByteReader r(bytes);
    auto cmd = r.u16();
    auto sub = r.u16();
    bool reserved = r.skip(2);
    auto len = r.u16();
    if (!cmd || !sub || !reserved || !len || *len > kMaxPayload || r.remaining() != *len) return std::nullopt;
    auto body = r.bytes(*len);
    KVRControlPacket p;
    p.command = *cmd;
    p.subCommand = *sub;
    p.payload.assign(body->begin(), body->end());
    return p;
}

KVRControlFramer::Status KVRControlFramer::feed(std::span<const uint8_t> bytes, std::vector<KVRControlPacket>& out) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    size_t pos = 0;
    Status status = Status::Ok;
    while (buffer_.size() - pos >= KVRControlPacket::kHeaderSize) {
        KVRByteReader r(std::span<const uint8_t>(buffer_).subspan(pos));
        uint16_t cmd = *r.u16();
        uint16_t sub = *r.u16();
        r.skip(2);
        uint16_t len = *r.u16();
        if (len > KVRControlPacket::kMaxPayload) {
            lastAnnounced_ = len;
            status = Status::Oversize;
            break;
        }
        if (r.remaining() < len) break;
        KVRControlPacket p;
        p.command = cmd;
        p.subCommand = sub;
        auto body = r.bytes(len);
        p.payload.assign(body->begin(), body->end());
        out.push_back(std::move(p));
        pos += KVRControlPacket::kHeaderSize + len;
    }
    if (status == Status::Oversize) {
        buffer_.clear();
    } else {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
    }
    return status;
}
