#pragma once
// Sends the video sender's payloads through the relay client as command 13.
#include <memory>

#include "relay/KVRRelayServer.h"
#include "relay/KVRVideoPayloadSink.h"

class KVRRelayVideoSink : public KVRVideoPayloadSink {
public:
    explicit KVRRelayVideoSink(std::weak_ptr<KVRRelayServer> relay) : relay_(std::move(relay)) {}
    bool sendVideo(std::span<const uint8_t> payload) override {
        auto relay = relay_.lock();
        if (!relay) return false;
        relay->sendVideo(payload.data(), static_cast<uint32_t>(payload.size()));
        return true;
    }

private:
    std::weak_ptr<KVRRelayServer> relay_;
};
