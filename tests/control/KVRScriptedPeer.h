#pragma once
// A scripted main-server peer for the control client's tests: accepts one connection on 127.0.0.1 (an
// ephemeral port), frames what the client sends, and answers through a responder run on its own thread.
#include <asio.hpp>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/KVRControlPacket.h"

class KVRScriptedPeer {
public:
    using Responder = std::function<void(const KVRControlPacket&, KVRScriptedPeer&)>;

    KVRScriptedPeer() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        acceptor_.async_accept(socket_, [this](const asio::error_code& ec) {
            if (ec) return;
            socket_.set_option(asio::ip::tcp::no_delay(true));
            read();
        });
        thread_ = std::thread([this] { io_.run(); });
    }
    ~KVRScriptedPeer() {
        asio::post(io_, [this] {
            asio::error_code ignore;
            acceptor_.close(ignore);
            socket_.close(ignore);
            io_.stop();
        });
        thread_.join();
    }

    uint16_t port() const { return acceptor_.local_endpoint().port(); }

    // Runs on the peer's thread for every packet the client sends, keep-alives included.
    void setResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    // The usual server: every request but the keep-alive gets an empty success reply of its command.
    static void answerSuccess(const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command != 97) peer.send(p.command, 2, "");
    }

    void send(uint16_t command, uint16_t subCommand, const std::string& payload) {
        sendRaw(KVRControlPacket::encode(command, subCommand, payload));
    }
    void sendRaw(std::vector<uint8_t> bytes, bool oneByteWrites = false) {
        asio::post(io_, [this, bytes = std::move(bytes), oneByteWrites] {
            asio::error_code ec;
            if (!oneByteWrites) {
                asio::write(socket_, asio::buffer(bytes), ec);
                return;
            }
            for (size_t i = 0; i < bytes.size() && !ec; ++i) asio::write(socket_, asio::buffer(&bytes[i], 1), ec);
        });
    }
    void closeConnection() {
        asio::post(io_, [this] {
            asio::error_code ignore;
            socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignore);
            socket_.close(ignore);
        });
    }

    std::vector<KVRControlPacket> received(bool withKeepAlive = false) const {
        std::lock_guard lock(mutex_);
        std::vector<KVRControlPacket> out;
        for (const auto& p : received_)
            if (withKeepAlive || p.command != 97) out.push_back(p);
        return out;
    }
    bool clientClosed() const {
        std::lock_guard lock(mutex_);
        return eof_;
    }

    // Polls a condition that another thread makes true; the limit only bounds a failing test.
    static bool eventually(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }

private:
    void read() {
        socket_.async_read_some(asio::buffer(buffer_), [this](const asio::error_code& ec, size_t n) {
            if (ec) {
                std::lock_guard lock(mutex_);
                eof_ = true;
                return;
            }
            std::vector<KVRControlPacket> packets;
            framer_.feed(std::span<const uint8_t>(buffer_.data(), n), packets);
            for (const auto& p : packets) {
                Responder responder;
                {
                    std::lock_guard lock(mutex_);
                    received_.push_back(p);
                    responder = responder_;
                }
                if (responder) responder(p, *this);
            }
            read();
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    asio::ip::tcp::socket socket_{io_};
    std::thread thread_;
    std::array<uint8_t, 65536> buffer_{};
    KVRControlFramer framer_;
    mutable std::mutex mutex_;
    Responder responder_ = answerSuccess;
    std::vector<KVRControlPacket> received_;
    bool eof_ = false;
};
