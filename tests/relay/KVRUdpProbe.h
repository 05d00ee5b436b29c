#pragma once
// A plain loopback UDP socket for tests: plays a relay toward a client, or a raw client toward the
// development relay, and sees exactly the bytes on the wire.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "relay/KVRRelayPacket.h"

class KVRUdpProbe {
public:
    struct Datagram {
        std::vector<uint8_t> bytes;
        uint16_t fromPort = 0;
    };

    KVRUdpProbe() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~KVRUdpProbe() { ::close(fd_); }
    KVRUdpProbe(const KVRUdpProbe&) = delete;
    KVRUdpProbe& operator=(const KVRUdpProbe&) = delete;

    uint16_t port() const { return port_; }

    void sendTo(uint16_t port, const std::vector<uint8_t>& bytes) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // A relay datagram with this header and text payload.
    void sendTo(uint16_t port, uint8_t command, int32_t subRoom, const std::string& id, const std::string& text = {}) {
        auto bytes = KVRRelayPacket::encode(command, 1, subRoom, id,
                                            {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        sendTo(port, *bytes);
    }

    std::optional<Datagram> receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        std::vector<uint8_t> buf(65536);
        sockaddr_in a{};
        socklen_t len = sizeof a;
        auto n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&a), &len);
        if (n < 0) return std::nullopt;
        buf.resize(static_cast<size_t>(n));
        return Datagram{std::move(buf), ntohs(a.sin_port)};
    }
    // The next datagram whose command is not an alive check.
    std::optional<Datagram> receiveSkippingAlive(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
        for (;;) {
            auto d = receive(timeout);
            if (!d || d->bytes.empty() || d->bytes[0] != KVRRelayCommand::kAliveCheck) return d;
        }
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};
