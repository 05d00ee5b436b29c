#pragma once
// Where the video sender puts each video payload (one segment behind its 60-byte header): the relay
// client's video send in the client, anything else in tests and tools.
#include <cstdint>
#include <span>

class KVRVideoPayloadSink {
public:
    virtual ~KVRVideoPayloadSink() = default;
    virtual bool sendVideo(std::span<const uint8_t> payload) = 0;
};
