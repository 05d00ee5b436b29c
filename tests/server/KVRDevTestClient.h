#pragma once
// A raw control-channel client for the server tests: blocking asio socket on loopback, packets framed
// with the same framer the client uses, reads bounded by a receive time-out.
#include <asio.hpp>
#include <sys/socket.h>

#include <cerrno>
#include <deque>
#include <optional>
#include <string>

#include "control/KVRControlPacket.h"

class KVRDevTestClient {
public:
    explicit KVRDevTestClient(uint16_t port, int timeoutMs = 3000) : socket_(io_) {
        socket_.connect({asio::ip::make_address("127.0.0.1"), port});
        setTimeout(timeoutMs);
    }

    void setTimeout(int ms) {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }

    void sendRaw(const std::vector<uint8_t>& bytes) { asio::write(socket_, asio::buffer(bytes)); }
    void send(uint16_t cmd, const std::string& payload, uint16_t sub = 1) {
        sendRaw(KVRControlPacket::encode(cmd, sub, payload));
    }

    // The next packet, or nothing on time-out or a closed connection.
    std::optional<KVRControlPacket> next() {
        while (inbox_.empty()) {
            // Plain recv: asio's blocking read would wait past SO_RCVTIMEO.
            uint8_t buf[4096];
            ssize_t got = ::recv(socket_.native_handle(), buf, sizeof buf, 0);
            if (got <= 0) {
                closed_ = got == 0 || errno == ECONNRESET;
                return std::nullopt;
            }
            size_t n = static_cast<size_t>(got);
            lastReadSize_ = n;
            std::vector<KVRControlPacket> out;
            framer_.feed(std::span<const uint8_t>(buf, n), out);
            for (auto& p : out) inbox_.push_back(std::move(p));
        }
        auto p = std::move(inbox_.front());
        inbox_.pop_front();
        return p;
    }

    // Sends a request and returns the next packet (the tests keep events out of the way or read them first).
    std::optional<KVRControlPacket> request(uint16_t cmd, const std::string& payload) {
        send(cmd, payload);
        return next();
    }

    bool ok(uint16_t cmd, const std::string& payload) {
        auto p = request(cmd, payload);
        return p && p->command == cmd && p->subCommand == KVRControlPacket::kSubSuccess;
    }

    // Logs in the way the client does (user ID as password, alias, "M", seven empty fields).
    bool login(const std::string& id, const std::string& alias, const std::string& hash = "h") {
        std::string f = id + '\x01' + hash + '\x01' + alias + '\x01' + alias + '\x01' + "M" + '\x01';
        for (int i = 0; i < 6; ++i) f += '\x01';
        f += '\x02';
        return ok(9, f);
    }

    // True once the server closed the connection (reads until then, bounded by the time-out).
    bool waitClosed() {
        while (next()) {
        }
        return closed_;
    }

    size_t lastReadSize() const { return lastReadSize_; }

private:
    asio::io_context io_;
    asio::ip::tcp::socket socket_;
    KVRControlFramer framer_;
    std::deque<KVRControlPacket> inbox_;
    bool closed_ = false;
    size_t lastReadSize_ = 0;
};

inline std::vector<std::string> kvrFields(const std::string& payload) {
    std::vector<std::string> out;
    std::string rec = payload.substr(0, payload.find('\x02'));
    size_t start = 0;
    for (;;) {
        size_t at = rec.find('\x01', start);
        out.push_back(rec.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}
