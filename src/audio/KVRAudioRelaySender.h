#pragma once
// Sends audio payloads through a relay client (relay command 12).
#include <memory>

#include "audio/KVRAudioSender.h"

class KVRRelayServer;

class KVRAudioRelaySender : public KVRAudioSender {
public:
    explicit KVRAudioRelaySender(std::shared_ptr<KVRRelayServer> relay) : relay_(std::move(relay)) {}
    void sendAudio(std::span<const uint8_t> payload) override;
    // Through the relay client of the registry; nothing happens before one is registered.
    static void sendViaRegistry(std::span<const uint8_t> payload);

private:
    std::shared_ptr<KVRRelayServer> relay_;
};
