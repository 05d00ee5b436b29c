#pragma once
// Where the relay client hands received media: the conference event dispatcher implements it. Every
// call comes on the relay receive thread with the whole datagram, header included, already checked to
// hold a complete header and the payload its length field announces.
#include <cstdint>
#include <span>
#include <string>

struct KVRRelayAddress {
    std::string ip;
    uint16_t port = 0;
};

class KVRRelayDataSink {
public:
    virtual ~KVRRelayDataSink() = default;
    virtual void receivedAudioData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) = 0;
    virtual void receivedVideoData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) = 0;
    virtual void receivedDocmentData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) = 0;
    virtual void receivedTextData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) = 0;
};
