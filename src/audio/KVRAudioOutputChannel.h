#pragma once
// A remote voice: decodes the audio payloads of one user into its player. Payloads whose lengths do
// not hold a whole frame are dropped and counted; nothing outside the received bytes is ever read.
#include <array>
#include <atomic>
#include <memory>
#include <span>

#include "audio/CCodecG711.h"
#include "audio/KVRAudioPayload.h"
#include "audio/KVRAudioPlayer.h"

class KVRAudioOutputChannel : public KVRAudioPlayer {
public:
    explicit KVRAudioOutputChannel(std::shared_ptr<KVRAudioBackend> backend = {});

    bool startPlay(const std::string& userID) { return start(userID); }
    void stopPlay() { stop(); }

    // `media`: the received bytes from offset 8 of the payload; `mediaLength`: the length field.
    // False when the payload was dropped.
    bool putDataEx(int headerFlag, std::span<const uint8_t> media, int mediaLength, const std::string& userID);
    // A whole audio payload as it arrived. False when dropped.
    bool putAudioPayload(std::span<const uint8_t> payload, const std::string& userID);

    uint64_t droppedPayloads() const { return dropped_.load(); }
    // The level byte of the last accepted payload, for the tile's meter.
    uint8_t lastLevel() const { return lastLevel_.load(); }

private:
    bool play(const KVRAudioPayload::Parsed& parsed, const std::string& userID);

    std::unique_ptr<CCodecG711> _g711Decoder;
    std::mutex decodeMutex_;
    std::array<uint8_t, 1024> buffer{};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint8_t> lastLevel_{0};
};
