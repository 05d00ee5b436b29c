#pragma once
// Where the pipeline's audio goes, kept abstract so that the audio classes need neither the relay
// client nor the lecture recorder to be built or linked in.
#include <cstdint>
#include <span>
#include <string>

// Sends one audio payload (relay command 12).
class KVRAudioSender {
public:
    virtual ~KVRAudioSender() = default;
    virtual void sendAudio(std::span<const uint8_t> payload) = 0;
};

// Receives every PCM frame captured while speaking is allowed and every frame a playback channel
// plays (silence included), under the voice's user id. Called on audio threads; must lock itself.
class KVRAudioRecordSink {
public:
    virtual ~KVRAudioRecordSink() = default;
    virtual void putData(const std::string& userID, std::span<const uint8_t> pcm) = 0;
};
