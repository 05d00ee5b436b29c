#pragma once
// The development server's relay: one UDP socket that registers clients (1), lets them enter (31) and
// leave (32) sub-rooms, takes alive checks (30) as signs of life, and forwards every media datagram
// (12-15) to the other members of the sender's sub-room as 41-44, header and payload unchanged.
// Members silent for the member time-out are forgotten. Fault switches drop, reorder or duplicate
// forwarded media for tests.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace asio {
class io_context;
}

class KVRDevRelay {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Options {
        std::string bindAddress = "127.0.0.1";
        uint16_t port = 0;  // 0: a free port
        std::chrono::milliseconds memberTimeout{30000};
        // How often silent members are looked for; 0 leaves it to forgetSilentMembers().
        std::chrono::milliseconds sweepInterval{1000};
        Clock clock;  // steady clock unless given
        // Answer 1, 31 and 32 with command 50 instead of the request's own number.
        bool replyWith50 = false;
        int dropPercent = 0;
        bool reorder = false;
        bool duplicate = false;
        uint32_t seed = 1;
        // Where diagnostic lines go; stderr unless given.
        std::function<void(const std::string&)> log;
    };

    struct Member {
        std::string userID;
        std::string ip;
        uint16_t port = 0;
        int32_t subRoomNo = 0;
        std::chrono::steady_clock::time_point lastSeen;
    };

    struct Stats {
        uint64_t received = 0;
        uint64_t malformed = 0;   // too short, or announcing more payload than arrived
        uint64_t replies = 0;
        uint64_t forwarded = 0;   // datagrams sent on to a member (duplicates counted)
        uint64_t faultDropped = 0;
        uint64_t unroutable = 0;  // media from a sender in no sub-room
    };

    KVRDevRelay();
    explicit KVRDevRelay(Options options);
    ~KVRDevRelay();
    KVRDevRelay(const KVRDevRelay&) = delete;
    KVRDevRelay& operator=(const KVRDevRelay&) = delete;

    // Binds and starts the relay's own thread; false (with a diagnostic) when the port cannot be had.
    bool start();
    void stop();
    uint16_t port() const;

    void setDropPercent(int percent);
    void setReorder(bool on);
    void setDuplicate(bool on);
    void setReplyWith50(bool on);

    // Forgets members not heard from within the member time-out; returns how many went.
    size_t forgetSilentMembers();
    std::vector<Member> members() const;
    std::vector<std::string> membersOf(int32_t subRoomNo) const;
    Stats stats() const;

    // One received datagram, as from the socket; public for the fuzzer.
    void handleDatagram(const std::vector<uint8_t>& datagram, const std::string& ip, uint16_t port);

private:
    struct Impl;
    struct Outgoing {
        std::vector<uint8_t> bytes;
        std::string ip;
        uint16_t port;
    };
    void logLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    std::chrono::steady_clock::time_point now() const;
    // Caller holds mutex_; queues are flushed by the caller after unlocking.
    void forwardMediaLocked(const std::vector<uint8_t>& datagram, size_t length, const Member& sender,
                            std::vector<Outgoing>& out);
    void sendAll(std::vector<Outgoing>& out);
    void scheduleSweep();

    Options options_;
    std::unique_ptr<Impl> impl_;

    mutable std::mutex mutex_;
    std::map<std::string, Member> members_;
    Stats stats_;
    std::mt19937 rng_;
    std::vector<Outgoing> held_;  // the media held back by the reorder switch
    uint64_t malformedLogged_ = 0;
};
