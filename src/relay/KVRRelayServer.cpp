#include "relay/KVRRelayServer.h"

#include <asio.hpp>

#include <array>
#include <cstring>

#include "app/KVRLog.h"
#include "relay/KVRRelayPacket.h"

namespace {
// Large enough for the longest datagram the wire allows, so none is cut by the receive buffer.
constexpr size_t kReceiveBufferSize = 65536;
// Replies nobody waits for accumulate at most this far: a late reply still completes the next wait,
// but a flood of them cannot make every later request succeed without an answer.
constexpr unsigned kMaxPendingReplies = 8;
}  // namespace

struct KVRRelayServer::Impl {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    asio::ip::udp::socket socket{io};
    std::thread thread;
    std::array<uint8_t, kReceiveBufferSize> buffer{};
    asio::ip::udp::endpoint from;
    bool bound = false;

    // The relay's resolved address; guarded by the send lock, redone after setInfo.
    std::optional<asio::ip::udp::endpoint> serverEndpoint;
    bool loggedResolveFailure = false;

    void receiveNext(KVRRelayServer* owner) {
        socket.async_receive_from(asio::buffer(buffer), from, [this, owner](const asio::error_code& ec, size_t n) {
            if (ec == asio::error::operation_aborted || !socket.is_open()) return;
            if (!ec) {
                KVRRelayAddress address{from.address().to_string(), from.port()};
                owner->udpSocket(std::span<const uint8_t>(buffer.data(), n), address);
            }
            receiveNext(owner);
        });
    }
};

KVRRelayServer::KVRRelayServer(Options options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>()), replyWait_(options_.replyWait) {}

std::shared_ptr<KVRRelayServer> KVRRelayServer::initWithDelegateEx(Options options) {
    std::shared_ptr<KVRRelayServer> relay(new KVRRelayServer(std::move(options)));
    asio::error_code ec;
    relay->impl_->socket.open(asio::ip::udp::v4(), ec);
    if (ec) {
        KVRLog("relay: UDP socket not created : %s", ec.message().c_str());
        return nullptr;
    }
    relay->bindPort();
    relay->impl_->thread = std::thread([impl = relay->impl_.get()] { impl->io.run(); });
    return relay;
}

KVRRelayServer::~KVRRelayServer() {
    if (aliveCheckThread_.joinable()) {
        aliveCheckThread_.request_stop();
        aliveCv_.notify_all();
        aliveCheckThread_.join();
    }
    asio::post(impl_->io, [impl = impl_.get()] {
        asio::error_code ec;
        impl->socket.close(ec);
    });
    impl_->work.reset();
    impl_->io.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
}

bool KVRRelayServer::bindPort() {
    asio::error_code ec;
    auto address = asio::ip::make_address_v4(options_.bindAddress, ec);
    if (!ec) impl_->socket.bind(asio::ip::udp::endpoint(address, 0), ec);
    if (ec) {
        KVRLog("relay: bind to %s:0 failed : %s", options_.bindAddress.c_str(), ec.message().c_str());
        return false;
    }
    impl_->bound = true;
    impl_->receiveNext(this);
    return true;
}

void KVRRelayServer::setInfo(const std::string& userID, const std::string& ip, int64_t port) {
    std::lock_guard lock(sendMutex_);
    myID_ = userID;
    serverIP_ = ip;
    serverPort_ = port;
    impl_->serverEndpoint.reset();
    impl_->loggedResolveFailure = false;
    loggedLongID_ = false;
}

int64_t KVRRelayServer::mySubRoomNo() const {
    std::lock_guard lock(sendMutex_);
    return mySubRoomNo_;
}

std::string KVRRelayServer::myID() const {
    std::lock_guard lock(sendMutex_);
    return myID_;
}

std::vector<uint8_t> KVRRelayServer::receivedData() const {
    std::lock_guard lock(replyMutex_);
    return receivedData_;
}

uint16_t KVRRelayServer::localPort() const {
    asio::error_code ec;
    auto ep = impl_->socket.local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void KVRRelayServer::setDataSink(std::weak_ptr<KVRRelayDataSink> sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void KVRRelayServer::setReplyWait(std::chrono::milliseconds wait) {
    std::lock_guard lock(replyMutex_);
    replyWait_ = wait;
}

void KVRRelayServer::sendLocked(uint8_t command, uint8_t subCommand, std::span<const uint8_t> payload) {
    if (myID_.size() > KVRRelayPacket::kMaxUserID) {
        // Cutting the id to fit would send as whoever owns the shorter id.
        if (!loggedLongID_) {
            KVRLog("relay: user id of %zu bytes does not fit the %zu-byte field; nothing is sent", myID_.size(),
                   KVRRelayPacket::kMaxUserID);
            loggedLongID_ = true;
        }
        return;
    }
    if (payload.size() > KVRRelayPacket::kMaxPayload) {
        KVRLog("relay: payload of %zu bytes refused (command %u, at most %zu)", payload.size(), command,
               KVRRelayPacket::kMaxPayload);
        return;
    }
    auto datagram = KVRRelayPacket::encode(command, subCommand, static_cast<int32_t>(mySubRoomNo_), myID_, payload);
    if (!datagram) return;

    if (!impl_->serverEndpoint) {
        auto port = static_cast<uint16_t>(serverPort_ & 0xffff);
        asio::error_code ec;
        auto address = asio::ip::make_address_v4(serverIP_, ec);
        if (!ec) {
            impl_->serverEndpoint = asio::ip::udp::endpoint(address, port);
        } else {
            asio::ip::udp::resolver resolver(impl_->io);
            auto results = resolver.resolve(asio::ip::udp::v4(), serverIP_, std::to_string(port), ec);
            if (!ec && !results.empty()) impl_->serverEndpoint = results.begin()->endpoint();
        }
        if (!impl_->serverEndpoint) {
            if (!impl_->loggedResolveFailure) {
                KVRLog("relay: relay host \"%s\" not resolvable : %s", serverIP_.c_str(), ec.message().c_str());
                impl_->loggedResolveFailure = true;
            }
            return;
        }
    }
    // The socket belongs to the receive thread; sends are queued there in the order of this lock.
    auto bytes = std::make_shared<std::vector<uint8_t>>(std::move(*datagram));
    asio::post(impl_->io, [impl = impl_.get(), to = *impl_->serverEndpoint, bytes] {
        asio::error_code ec;
        if (impl->socket.is_open()) impl->socket.send_to(asio::buffer(*bytes), to, 0, ec);
    });
    sent_.fetch_add(1);
}

int KVRRelayServer::sendPacket(uint16_t command, uint16_t subCommand, const char* text) {
    std::span<const uint8_t> payload;
    if (text) payload = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    std::lock_guard lock(sendMutex_);
    sendLocked(static_cast<uint8_t>(command), static_cast<uint8_t>(subCommand), payload);
    return 0;
}

int KVRRelayServer::sendPacket(uint16_t command, uint16_t subCommand, const uint8_t* data, uint32_t size) {
    std::span<const uint8_t> payload;
    if (data) payload = std::span<const uint8_t>(data, size);
    std::lock_guard lock(sendMutex_);
    sendLocked(static_cast<uint8_t>(command), static_cast<uint8_t>(subCommand), payload);
    return 0;
}

void KVRRelayServer::sendText(const uint8_t* data, uint32_t size) {
    sendPacket(KVRRelayCommand::kText, KVRRelayPacket::kSubRequest, data, size);
}
void KVRRelayServer::sendAudio(const uint8_t* data, uint32_t size) {
    sendPacket(KVRRelayCommand::kAudio, KVRRelayPacket::kSubRequest, data, size);
}
void KVRRelayServer::sendVideo(const uint8_t* data, uint32_t size) {
    sendPacket(KVRRelayCommand::kVideo, KVRRelayPacket::kSubRequest, data, size);
}
void KVRRelayServer::sendBoardData(const uint8_t* data, uint32_t size) {
    sendPacket(KVRRelayCommand::kDoc, KVRRelayPacket::kSubRequest, data, size);
}

int KVRRelayServer::waiting(double seconds) {
    std::unique_lock lock(replyMutex_);
    semaphoreCreated_ = true;
    auto ready = [this] { return replyCount_ > 0; };
    if (seconds <= 0) {
        replyCv_.wait(lock, ready);
    } else {
        auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
        if (!replyCv_.wait_for(lock, limit, ready)) return 1;
    }
    --replyCount_;
    return 0;
}

void KVRRelayServer::signalReply() {
    // Caller holds replyMutex_.
    if (!semaphoreCreated_) return;
    if (replyCount_ < kMaxPendingReplies) ++replyCount_;
    replyCv_.notify_one();
}

void KVRRelayServer::armReplySemaphore() {
    // Before the request goes out: on loopback the reply can beat the caller into waiting().
    std::lock_guard lock(replyMutex_);
    semaphoreCreated_ = true;
}

double KVRRelayServer::replyWaitSeconds() const {
    std::lock_guard lock(replyMutex_);
    return std::chrono::duration<double>(replyWait_).count();
}

bool KVRRelayServer::getNATInfo() {
    isConnectedEx_ = false;
    armReplySemaphore();
    sendPacket(KVRRelayCommand::kNATInfo, KVRRelayPacket::kSubRequest, nullptr, 0);
    if (waiting(replyWaitSeconds()) != 0) {
        KVRLog("relay: no answer to the NAT info request");
        return false;
    }
    (void)receivedData();  // the reply's content carries nothing the client needs
    isConnectedEx_ = true;
    startAliveThreadOnce();
    return true;
}

bool KVRRelayServer::enterRoom(int64_t subRoomNo) {
    if (!isConnectedEx_) return false;
    armReplySemaphore();
    {
        std::lock_guard lock(sendMutex_);
        mySubRoomNo_ = subRoomNo;
        sendLocked(KVRRelayCommand::kEnterRoom, KVRRelayPacket::kSubRequest, {});
    }
    if (waiting(replyWaitSeconds()) != 0) {
        KVRLog("relay: no answer to entering sub-room %lld", static_cast<long long>(subRoomNo));
        return false;
    }
    return true;
}

bool KVRRelayServer::exitRoom() {
    if (!isConnectedEx_) return false;
    armReplySemaphore();
    {
        std::lock_guard lock(sendMutex_);
        mySubRoomNo_ = 0;
        sendLocked(KVRRelayCommand::kExitRoom, KVRRelayPacket::kSubRequest, {});
    }
    if (waiting(replyWaitSeconds()) != 0) {
        KVRLog("relay: no answer to leaving the sub-room");
        return false;
    }
    return true;
}

void KVRRelayServer::sendAliveCheck() {
    if (!isConnectedEx_) return;
    sendPacket(KVRRelayCommand::kAliveCheck, KVRRelayPacket::kSubRequest, nullptr, 0);
}

void KVRRelayServer::startAliveThreadOnce() {
    std::call_once(aliveOnce_, [this] {
        aliveCheckThread_ = std::jthread([this](std::stop_token stop) { threadAliveChecker(stop); });
    });
}

void KVRRelayServer::threadAliveChecker(std::stop_token stop) {
    std::unique_lock lock(aliveMutex_);
    while (!stop.stop_requested()) {
        lock.unlock();
        sendAliveCheck();
        lock.lock();
        aliveCv_.wait_for(lock, stop, options_.aliveInterval, [] { return false; });
    }
}

void KVRRelayServer::noteDropped(const char* why, size_t size) {
    uint64_t n = dropped_.fetch_add(1) + 1;
    uint64_t every = options_.dropLogEvery ? options_.dropLogEvery : 1;
    if (n == 1 || n % every == 0)
        KVRLog("relay: dropped a datagram of %zu bytes (%s); %llu dropped so far", size, why,
               static_cast<unsigned long long>(n));
}

void KVRRelayServer::udpSocket(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) {
    KVRRelayPacket::DecodeError why;
    auto decoded = KVRRelayPacket::decode(datagram, &why);
    if (!decoded) {
        noteDropped(why == KVRRelayPacket::DecodeError::Short ? "shorter than the header"
                                                              : "payload length beyond its end",
                    datagram.size());
        return;
    }
    // What the dispatcher gets stops at the announced payload.
    auto whole = datagram.first(KVRRelayPacket::kHeaderSize + decoded->header.payloadLength);
    auto kind = KVRRelayPacket::classify(decoded->header.command);
    if (kind == KVRRelayPacket::Kind::Reply) {
        std::lock_guard lock(replyMutex_);
        receivedData_.assign(whole.begin(), whole.end());
        signalReply();
        return;
    }
    if (kind == KVRRelayPacket::Kind::AliveCheck || kind == KVRRelayPacket::Kind::Other) return;

    std::shared_ptr<KVRRelayDataSink> sink;
    {
        std::lock_guard lock(sinkMutex_);
        sink = sink_.lock();
    }
    if (!sink) return;
    switch (kind) {
        case KVRRelayPacket::Kind::Audio: sink->receivedAudioData(whole, fromAddress); break;
        case KVRRelayPacket::Kind::Video: sink->receivedVideoData(whole, fromAddress); break;
        case KVRRelayPacket::Kind::Doc: sink->receivedDocmentData(whole, fromAddress); break;
        case KVRRelayPacket::Kind::Text: sink->receivedTextData(whole, fromAddress); break;
        default: break;
    }
}
