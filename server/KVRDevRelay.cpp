#include "KVRDevRelay.h"

#include <asio.hpp>

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "relay/KVRRelayPacket.h"

namespace {
constexpr size_t kReceiveBufferSize = 65536;
constexpr uint8_t kReplySubCommand = 2;
// Garbage is logged for the first datagram and then every this many, not for each one.
constexpr uint64_t kMalformedLogEvery = 100;
}  // namespace

struct KVRDevRelay::Impl {
    asio::io_context io;
    asio::ip::udp::socket socket{io};
    asio::steady_timer sweepTimer{io};
    std::thread thread;
    std::array<uint8_t, kReceiveBufferSize> buffer{};
    asio::ip::udp::endpoint from;
    std::atomic<bool> running{false};
};

KVRDevRelay::KVRDevRelay() : KVRDevRelay(Options{}) {}

KVRDevRelay::KVRDevRelay(Options options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>()), rng_(options_.seed) {}

KVRDevRelay::~KVRDevRelay() { stop(); }

void KVRDevRelay::logLine(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (options_.log)
        options_.log(line);
    else
        std::fprintf(stderr, "[relay] %s\n", line);
}

std::chrono::steady_clock::time_point KVRDevRelay::now() const {
    return options_.clock ? options_.clock() : std::chrono::steady_clock::now();
}

bool KVRDevRelay::start() {
    if (impl_->running) return true;
    asio::error_code ec;
    auto address = asio::ip::make_address(options_.bindAddress, ec);
    if (!ec) {
        asio::ip::udp::endpoint ep(address, options_.port);
        impl_->socket.open(ep.protocol(), ec);
        if (!ec) impl_->socket.bind(ep, ec);
    }
    if (ec) {
        logLine("relay: cannot bind UDP %s:%u : %s", options_.bindAddress.c_str(), options_.port,
                ec.message().c_str());
        asio::error_code ignored;
        impl_->socket.close(ignored);
        return false;
    }
    impl_->running = true;

    auto receive = std::make_shared<std::function<void()>>();
    *receive = [this, receive] {
        impl_->socket.async_receive_from(asio::buffer(impl_->buffer), impl_->from,
                                         [this, receive](const asio::error_code& e, size_t n) {
                                             if (e == asio::error::operation_aborted || !impl_->socket.is_open())
                                                 return;
                                             if (!e) {
                                                 std::vector<uint8_t> d(impl_->buffer.begin(),
                                                                        impl_->buffer.begin() + n);
                                                 handleDatagram(d, impl_->from.address().to_string(),
                                                                impl_->from.port());
                                             }
                                             (*receive)();
                                         });
    };
    (*receive)();
    scheduleSweep();
    impl_->thread = std::thread([this] { impl_->io.run(); });
    logLine("relay: listening on UDP %s:%u", options_.bindAddress.c_str(), port());
    return true;
}

void KVRDevRelay::scheduleSweep() {
    if (options_.sweepInterval.count() <= 0) return;
    impl_->sweepTimer.expires_after(options_.sweepInterval);
    impl_->sweepTimer.async_wait([this](const asio::error_code& ec) {
        if (ec) return;
        forgetSilentMembers();
        std::vector<Outgoing> out;
        {
            // A datagram held back for reordering is not kept past one sweep.
            std::lock_guard lock(mutex_);
            out.swap(held_);
        }
        sendAll(out);
        scheduleSweep();
    });
}

void KVRDevRelay::stop() {
    if (!impl_->running) return;
    asio::post(impl_->io, [this] {
        asio::error_code ec;
        impl_->sweepTimer.cancel();
        impl_->socket.close(ec);
    });
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->running = false;
}

uint16_t KVRDevRelay::port() const {
    asio::error_code ec;
    auto ep = impl_->socket.local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void KVRDevRelay::setDropPercent(int percent) {
    std::lock_guard lock(mutex_);
    options_.dropPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

void KVRDevRelay::setReorder(bool on) {
    std::vector<Outgoing> out;
    {
        std::lock_guard lock(mutex_);
        options_.reorder = on;
        if (!on) out.swap(held_);
    }
    sendAll(out);
}

void KVRDevRelay::setDuplicate(bool on) {
    std::lock_guard lock(mutex_);
    options_.duplicate = on;
}

void KVRDevRelay::setReplyWith50(bool on) {
    std::lock_guard lock(mutex_);
    options_.replyWith50 = on;
}

size_t KVRDevRelay::forgetSilentMembers() {
    std::vector<std::string> gone;
    {
        std::lock_guard lock(mutex_);
        auto limit = now() - options_.memberTimeout;
        for (auto it = members_.begin(); it != members_.end();) {
            if (it->second.lastSeen < limit) {
                gone.push_back(it->first);
                it = members_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& id : gone) logLine("relay: %s silent, forgotten", id.c_str());
    return gone.size();
}

std::vector<KVRDevRelay::Member> KVRDevRelay::members() const {
    std::lock_guard lock(mutex_);
    std::vector<Member> out;
    for (const auto& [id, m] : members_) out.push_back(m);
    return out;
}

std::vector<std::string> KVRDevRelay::membersOf(int32_t subRoomNo) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [id, m] : members_)
        if (m.subRoomNo == subRoomNo) out.push_back(id);
    return out;
}

KVRDevRelay::Stats KVRDevRelay::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void KVRDevRelay::sendAll(std::vector<Outgoing>& out) {
    if (out.empty() || !impl_->running) {
        out.clear();
        return;
    }
    // The socket is the relay thread's; sends from elsewhere (switches, tests) queue up there in order.
    asio::post(impl_->io, [impl = impl_.get(), batch = std::move(out)] {
        for (const auto& o : batch) {
            asio::error_code ec;
            auto address = asio::ip::make_address(o.ip, ec);
            if (ec || !impl->socket.is_open()) continue;
            impl->socket.send_to(asio::buffer(o.bytes), asio::ip::udp::endpoint(address, o.port), 0, ec);
        }
    });
    out.clear();
}

void KVRDevRelay::forwardMediaLocked(const std::vector<uint8_t>& datagram, size_t length, const Member& sender,
                                     std::vector<Outgoing>& out) {
    std::vector<uint8_t> relayed(datagram.begin(), datagram.begin() + static_cast<std::ptrdiff_t>(length));
    relayed[0] = KVRRelayPacket::relayedCommand(relayed[0]);
    std::vector<Outgoing> batch;
    std::uniform_int_distribution<int> percent(0, 99);
    for (const auto& [id, m] : members_) {
        if (id == sender.userID || m.subRoomNo != sender.subRoomNo) continue;
        if (options_.dropPercent > 0 && percent(rng_) < options_.dropPercent) {
            ++stats_.faultDropped;
            continue;
        }
        batch.push_back({relayed, m.ip, m.port});
        if (options_.duplicate) batch.push_back({relayed, m.ip, m.port});
    }
    stats_.forwarded += batch.size();
    if (!options_.reorder || batch.empty()) {
        out.insert(out.end(), batch.begin(), batch.end());
        return;
    }
    // Pairs go out swapped: hold this one until the next comes, then send the next first.
    if (held_.empty()) {
        held_ = std::move(batch);
    } else {
        out.insert(out.end(), batch.begin(), batch.end());
        out.insert(out.end(), held_.begin(), held_.end());
        held_.clear();
    }
}

void KVRDevRelay::handleDatagram(const std::vector<uint8_t>& datagram, const std::string& ip, uint16_t port) {
    using namespace KVRRelayCommand;
    std::vector<Outgoing> out;
    std::string note;
    {
        std::lock_guard lock(mutex_);
        ++stats_.received;
        KVRRelayPacket::DecodeError why;
        auto decoded = KVRRelayPacket::decode(datagram, &why);
        const char* fault = nullptr;
        if (!decoded)
            fault = why == KVRRelayPacket::DecodeError::Short ? "shorter than the header"
                                                              : "payload length beyond its end";
        else if (decoded->header.userID.empty())
            fault = "no user id";
        else if (decoded->header.userID.size() > KVRRelayPacket::kMaxUserID)
            fault = "user id without its NUL";
        if (fault) {
            ++stats_.malformed;
            if (stats_.malformed == 1 || stats_.malformed % kMalformedLogEvery == 0) {
                char line[160];
                std::snprintf(line, sizeof line, "relay: dropped %zu bytes from %s:%u (%s); %llu so far",
                              datagram.size(), ip.c_str(), port, fault,
                              static_cast<unsigned long long>(stats_.malformed));
                note = line;
            }
        } else {
            const auto& h = decoded->header;
            auto known = members_.find(h.userID);
            auto seen = [&](Member& m) {
                m.ip = ip;
                m.port = port;
                m.lastSeen = now();
            };
            switch (h.command) {
                case kNATInfo:
                case kEnterRoom:
                case kExitRoom: {
                    Member& m = members_[h.userID];
                    if (m.userID.empty()) m.userID = h.userID;
                    seen(m);
                    if (h.command == kEnterRoom) m.subRoomNo = h.subRoomNo;
                    if (h.command == kExitRoom) m.subRoomNo = 0;
                    // The reply carries the address the relay saw, which is what a NAT info exchange is for.
                    std::string observed = ip + ":" + std::to_string(port);
                    auto reply = KVRRelayPacket::encode(
                        options_.replyWith50 ? kReply : h.command, kReplySubCommand, m.subRoomNo, h.userID,
                        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(observed.data()), observed.size()));
                    if (reply) out.push_back({std::move(*reply), ip, port});
                    ++stats_.replies;
                    break;
                }
                case kAliveCheck:
                    if (known != members_.end()) seen(known->second);
                    break;
                case kAudio:
                case kVideo:
                case kDoc:
                case kText:
                    if (known == members_.end() || known->second.subRoomNo == 0) {
                        ++stats_.unroutable;
                        break;
                    }
                    seen(known->second);
                    forwardMediaLocked(datagram, KVRRelayPacket::kHeaderSize + h.payloadLength, known->second, out);
                    break;
                default:
                    break;  // nothing else is a client's to send
            }
        }
    }
    if (!note.empty()) logLine("%s", note.c_str());
    sendAll(out);
}
