#include "audio/KVRAudioRelaySender.h"

#include "app/KVRGlobalData.h"
#include "relay/KVRRelayServer.h"

void KVRAudioRelaySender::sendAudio(std::span<const uint8_t> payload) {
    if (relay_) relay_->sendAudio(payload.data(), static_cast<uint32_t>(payload.size()));
}

void KVRAudioRelaySender::sendViaRegistry(std::span<const uint8_t> payload) {
    if (auto relay = KVRGlobalData::sharedGlobalData()->relayServer())
        relay->sendAudio(payload.data(), static_cast<uint32_t>(payload.size()));
}
