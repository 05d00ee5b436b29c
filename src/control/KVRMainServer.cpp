#include "control/KVRMainServer.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <thread>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "app/KVRTextSplit.h"
#include "control/KVRControlPayload.h"
#include "control/KVRServerAlarmSink.h"
#include "platform/KVRRunLoop.h"

namespace {
using asio::ip::tcp;
using P = KVRControlPayload;

// Commands the server pushes on its own; none of them is ever the command of a request.
constexpr std::array<uint16_t, 54> kEventCommands = {
    3,   7,   30,  31,  33,  55,  56,  61,  65,  66,  67,  69,  73,  77,  82,  83,  85,  89,
    102, 109, 111, 116, 128, 139, 158, 159, 160, 161, 167, 208, 233, 242, 246, 254, 303, 304,
    323, 324, 325, 411, 433, 461, 470, 527, 531, 553, 582, 671, 704, 718, 719, 721, 752, 854};
static_assert(std::is_sorted(kEventCommands.begin(), kEventCommands.end()));
}  // namespace

// Everything that lives on the control socket's io thread. Its members are touched only there, except
// the framer, which the reader owns (tests and fuzzers drive it without a thread).
struct KVRMainServer::Io {
    explicit Io(KVRMainServer& owner) : owner(owner) {}

    KVRMainServer& owner;
    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    tcp::socket socket{context};
    asio::steady_timer connectTimer{context};
    asio::steady_timer aliveTimer{context};
    std::array<uint8_t, KVRControlPacket::kMaxPacket> readBuffer{};
    KVRControlFramer framer;
    std::deque<std::vector<uint8_t>> writeQueue;
    bool writing = false;
    bool closeAfterWrites = false;
    bool aliveRunning = false;
    uint64_t attempt = 0;

    // connectToServer waits on these for the connect notification.
    std::mutex connectMutex;
    std::condition_variable connectCv;
    bool connectFailed = false;

    void start() {
        if (thread.joinable()) return;
        work.emplace(asio::make_work_guard(context));
        thread = std::thread([this] { context.run(); });
    }
    bool running() const { return thread.joinable(); }

    void beginConnect(std::vector<tcp::endpoint> endpoints) {
        const uint64_t mine = ++attempt;
        asio::error_code ignored;
        socket.close(ignored);
        framer.reset();
        writeQueue.clear();
        writing = false;
        closeAfterWrites = false;
        asio::async_connect(socket, endpoints, [this, mine](const asio::error_code& ec, const tcp::endpoint&) {
            if (mine != attempt) return;
            connectTimer.cancel();
            if (ec) {
                KVRLog("control: connect failed: %s", ec.message().c_str());
                std::lock_guard lock(connectMutex);
                connectFailed = true;
                connectCv.notify_all();
                return;
            }
            asio::error_code ignore;
            socket.set_option(tcp::no_delay(true), ignore);
            {
                std::lock_guard lock(connectMutex);
                owner.connected_ = true;
                owner._isConnectedEx = true;
                connectCv.notify_all();
            }
            startRead();
        });
        connectTimer.expires_after(owner.timing_.connectTimeout);
        connectTimer.async_wait([this, mine](const asio::error_code& ec) {
            if (ec || mine != attempt || owner.connected_) return;
            asio::error_code ignore;
            socket.close(ignore);  // the connect handler reports the time-out as a failure
        });
    }

    // connectToServer gave up: the attempt must not come alive later behind the caller's back.
    void abandonConnect() {
        ++attempt;
        connectTimer.cancel();
        owner.connected_ = false;
        owner._isConnectedEx = false;
        asio::error_code ignore;
        socket.close(ignore);
    }

    void startRead() {
        socket.async_read_some(asio::buffer(readBuffer), [this](const asio::error_code& ec, size_t n) {
            if (ec) {
                if (ec == asio::error::operation_aborted) return;
                owner.connectionLost(ec == asio::error::eof ? "closed by the server" : ec.message().c_str());
                return;
            }
            if (!owner.receivedBytes(std::span<const uint8_t>(readBuffer.data(), n))) return;
            startRead();
        });
    }

    void queueWrite(std::vector<uint8_t> bytes) {
        if (!owner.connected_) return;
        writeQueue.push_back(std::move(bytes));
        if (!writing) writeNext();
    }

    void writeNext() {
        writing = true;
        asio::async_write(socket, asio::buffer(writeQueue.front()), [this](const asio::error_code& ec, size_t) {
            if (ec) {
                writing = false;
                if (ec != asio::error::operation_aborted) owner.connectionLost(ec.message().c_str());
                return;
            }
            writeQueue.pop_front();
            if (!writeQueue.empty()) {
                writeNext();
                return;
            }
            writing = false;
            if (closeAfterWrites) closeNow();
        });
    }

    void closeNow() {
        closeAfterWrites = false;
        asio::error_code ignore;
        socket.shutdown(tcp::socket::shutdown_both, ignore);
        owner.connectionLost("closed by the client");
    }

    void startAlive() {
        aliveRunning = true;
        aliveTick();
    }
    void stopAlive() {
        aliveRunning = false;
        aliveTimer.cancel();
    }
    void aliveTick() {
        if (!aliveRunning) return;
        owner.sendAliveCheck();
        aliveTimer.expires_after(owner.timing_.aliveInterval);
        aliveTimer.async_wait([this](const asio::error_code& ec) {
            if (!ec) aliveTick();
        });
    }

    // Called once the connection is known lost.
    void teardown() {
        stopAlive();
        connectTimer.cancel();
        asio::error_code ignore;
        socket.close(ignore);
        framer.reset();
        writeQueue.clear();
        writing = false;
        closeAfterWrites = false;
    }
};

KVRMainServer::KVRMainServer(std::shared_ptr<KVRRunLoop> runLoop, Timing timing)
    : timing_(timing), runLoop_(std::move(runLoop)), io_(std::make_unique<Io>(*this)) {}

KVRMainServer::~KVRMainServer() {
    destroying_ = true;
    semaphore_.abort();
    if (io_->running()) {
        asio::post(io_->context, [io = io_.get()] {
            io->stopAlive();
            io->abandonConnect();
            io->work.reset();
            io->context.stop();
        });
        io_->thread.join();
    }
}

void KVRMainServer::setAlarmSink(std::weak_ptr<KVRServerAlarmSink> sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void KVRMainServer::setTiming(const Timing& timing) { timing_ = timing; }

bool KVRMainServer::isConnected() const { return connected_ && !closing_; }

bool KVRMainServer::connectToServer(const std::string& host, int64_t port) {
    _isConnectedEx = false;
    if (port < 1 || port > 65535) {
        KVRLog("control: port %lld is out of range; not connecting", static_cast<long long>(port));
        return false;
    }
    std::vector<tcp::endpoint> endpoints;
    asio::error_code ec;
    auto address = asio::ip::make_address(host, ec);
    if (!ec) {
        endpoints.emplace_back(address, static_cast<uint16_t>(port));
    } else {
        asio::io_context lookup;
        tcp::resolver resolver(lookup);
        auto results = resolver.resolve(host, std::to_string(port), ec);
        if (!ec)
            for (const auto& r : results) endpoints.push_back(r.endpoint());
        if (endpoints.empty()) {
            KVRLog("control: cannot resolve host \"%s\": %s", host.c_str(), ec.message().c_str());
            return false;
        }
    }
    {
        std::lock_guard lock(io_->connectMutex);
        io_->connectFailed = false;
    }
    closing_ = false;
    semaphore_.reset();
    io_->start();
    asio::post(io_->context, [io = io_.get(), endpoints] { io->beginConnect(endpoints); });

    bool connected = false;
    bool failed = false;
    {
        std::unique_lock lock(io_->connectMutex);
        for (int i = 0;; ++i) {
            connected = _isConnectedEx;
            failed = io_->connectFailed;
            if (connected || failed || i >= timing_.connectPolls) break;
            io_->connectCv.wait_for(lock, timing_.connectPoll,
                                    [this] { return _isConnectedEx.load() || io_->connectFailed; });
        }
    }
    if (!connected) {
        if (!failed) KVRLog("control: no connection to %s:%lld in time", host.c_str(), static_cast<long long>(port));
        asio::post(io_->context, [io = io_.get()] { io->abandonConnect(); });
        return false;
    }
    asio::post(io_->context, [io = io_.get()] { io->startAlive(); });
    return true;
}

void KVRMainServer::disconnectFromServer() {
    closing_ = true;
    _isConnectedEx = false;
    if (!io_->running()) return;
    asio::post(io_->context, [this, io = io_.get()] {
        io->stopAlive();
        if (!connected_) return;
        if (io->writing)
            io->closeAfterWrites = true;
        else
            io->closeNow();
    });
}

void KVRMainServer::connectionLost(const char* reason) {
    if (!connected_.exchange(false)) return;
    _isConnectedEx = false;
    io_->teardown();
    semaphore_.abort();
    KVRLog("control: connection to the main server lost (%s)", reason);
    if (!destroying_) postCriticalError();
}

void KVRMainServer::postCriticalError() {
    std::weak_ptr<KVRServerAlarmSink> sink;
    {
        std::lock_guard lock(sinkMutex_);
        sink = sink_;
    }
    auto loop = runLoop_ ? runLoop_ : KVRGlobalData::sharedGlobalData()->runLoop();
    if (!loop) {
        KVRLog("control: no main run loop to report the lost connection to");
        return;
    }
    std::string text = KVRStrings::text("IDS_SERVER_DISCONNECTED");
    loop->post([sink, text] {
        if (auto s = sink.lock())
            s->criticalError(text);
        else
            KVRLog("control: lost connection not reported: no dispatcher");
    });
}

int KVRMainServer::sendPacket(uint16_t command, uint16_t subCommand, std::optional<std::string_view> data) {
    std::string_view text = data ? data->substr(0, data->find('\0')) : std::string_view{};
    std::lock_guard lock(sendMutex_);
    auto bytes = KVRControlPacket::encode(command, subCommand, text);
    if (command != kAliveCheck) _sendCommand = command;
    {
        std::lock_guard dataLock(dataMutex_);
        sendpacket_ = bytes;
    }
    // Posting under the lock keeps the writes in the order the packets were built.
    if (io_->running()) asio::post(io_->context, [io = io_.get(), b = std::move(bytes)]() mutable {
        io->queueWrite(std::move(b));
    });
    return 0;
}

int KVRMainServer::waiting(std::chrono::milliseconds timeout) {
    return semaphore_.wait(timeout) == KVRReplySemaphore::WaitResult::Signalled ? 0 : 1;
}

void KVRMainServer::sendAliveCheck() {
    if (isConnected()) sendPacket(kAliveCheck, KVRControlPacket::kSubRequest, std::nullopt);
}

bool KVRMainServer::isEventCommand(uint16_t command) {
    return std::binary_search(kEventCommands.begin(), kEventCommands.end(), command);
}

KVRMainServer::PacketClass KVRMainServer::classifyPacket(uint16_t command, uint16_t sendCommand) {
    if (command == kAliveCheck || command == 1104 || command == 1105 || command == 1106) return PacketClass::Dropped;
    if (command == kPortalAlarm) return PacketClass::Portal;
    if (isEventCommand(command)) return PacketClass::Event;
    // 0 is never a request command: before the first request nothing is a reply.
    if (sendCommand != 0 && command == sendCommand) return PacketClass::Reply;
    return PacketClass::Noise;
}

void KVRMainServer::receivedPacket(const KVRControlPacket& packet) {
    switch (classifyPacket(packet.command, _sendCommand)) {
    case PacketClass::Dropped:
        return;
    case PacketClass::Portal:
        {
            std::lock_guard lock(dataMutex_);
            receivedData_ = packet;
        }
        semaphore_.signal();
        dispatchEvent(packet);
        return;
    case PacketClass::Event:
        dispatchEvent(packet);
        return;
    case PacketClass::Reply:
        {
            std::lock_guard lock(dataMutex_);
            receivedData_ = packet;
        }
        semaphore_.signal();
        return;
    case PacketClass::Noise:
        KVRLog("control: packet %u (sub-command %u, %zu bytes) answers no request; dropped",
               static_cast<unsigned>(packet.command), static_cast<unsigned>(packet.subCommand), packet.payload.size());
        return;
    }
}

void KVRMainServer::dispatchEvent(const KVRControlPacket& packet) {
    std::shared_ptr<KVRServerAlarmSink> sink;
    {
        std::lock_guard lock(sinkMutex_);
        sink = sink_.lock();
    }
    if (sink)
        sink->serverAlarmPacket(packet);
    else
        KVRLog("control: event %u arrived with no dispatcher; dropped", static_cast<unsigned>(packet.command));
}

bool KVRMainServer::receivedBytes(std::span<const uint8_t> bytes) {
    std::vector<KVRControlPacket> packets;
    auto status = io_->framer.feed(bytes, packets);
    for (const auto& p : packets) receivedPacket(p);
    if (status == KVRControlFramer::Status::Ok) return true;
    KVRLog("control: a packet header announces %zu payload bytes, more than %zu; dropping the connection",
           io_->framer.lastAnnouncedLength(), KVRControlPacket::kMaxPayload);
    connectionLost("protocol error: oversized packet");
    return false;
}

std::optional<KVRControlPacket> KVRMainServer::receivedData() const {
    std::lock_guard lock(dataMutex_);
    return receivedData_;
}

std::vector<uint8_t> KVRMainServer::sendpacket() const {
    std::lock_guard lock(dataMutex_);
    return sendpacket_;
}

std::string KVRMainServer::md5(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        KVRLog("control: MD5 digest failed");
        return {};
    }
    std::string out;
    out.reserve(length * 2);
    char hex[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        out.append(hex, 2);
    }
    return out;
}

// The request cycle.

KVRMainServer::Outcome KVRMainServer::transact(uint16_t command, std::optional<std::string> payload, Mark mark) {
    if (!isConnected()) {
        KVRLog("control: request %u not sent: not connected", static_cast<unsigned>(command));
        return {};
    }
    switch (mark) {
    case Mark::FreshWait:
        semaphore_.renew();
        break;
    case Mark::ClearReply:
        {
            std::lock_guard lock(dataMutex_);
            receivedData_.reset();
        }
        semaphore_.ensure();
        break;
    case Mark::None:
        // A reply may overtake the wait; it needs a semaphore to land on.
        semaphore_.ensure();
        break;
    }
    if (payload)
        sendPacket(command, KVRControlPacket::kSubRequest, std::string_view(*payload));
    else
        sendPacket(command, KVRControlPacket::kSubRequest, std::nullopt);

    switch (semaphore_.wait(timing_.replyWait)) {
    case KVRReplySemaphore::WaitResult::TimedOut:
        KVRLog("control: request %u got no reply in %lld ms", static_cast<unsigned>(command),
               static_cast<long long>(timing_.replyWait.count()));
        return {std::nullopt, true};
    case KVRReplySemaphore::WaitResult::Aborted:
        KVRLog("control: request %u ended: connection lost", static_cast<unsigned>(command));
        return {};
    case KVRReplySemaphore::WaitResult::Signalled:
        break;
    }
    auto reply = receivedData();
    if (!reply || reply->subCommand != KVRControlPacket::kSubSuccess) return {};
    return {std::move(reply), false};
}

std::optional<KVRControlPacket> KVRMainServer::requestPacket(uint16_t command, std::optional<std::string> payload,
                                                             Mark mark) {
    return transact(command, std::move(payload), mark).reply;
}

bool KVRMainServer::requestOk(uint16_t command, std::optional<std::string> payload, Mark mark,
                              bool timeoutSucceeds) {
    auto outcome = transact(command, std::move(payload), mark);
    return outcome.reply.has_value() || (timeoutSucceeds && outcome.timedOut);
}

// Login, clock and identity.

std::optional<KVRControlPacket> KVRMainServer::getServerTime() { return requestPacket(177, std::nullopt); }

std::optional<KVRControlPacket> KVRMainServer::loginWithRegister(const std::string& userID,
                                                                 const std::string& password,
                                                                 const std::string& alias) {
    P p;
    p.field(userID).sep(P::kField).field(md5(password)).sep(P::kField).field(alias).sep(P::kField);
    p.field(alias).sep(P::kField).field("M").sep(P::kField);
    for (int i = 0; i < 6; ++i) p.sep(P::kField);
    p.sep(P::kRecord);
    return requestPacket(9, p.text());
}

bool KVRMainServer::updateAlias(const std::string& alias) {
    return requestOk(22, P().field(alias).sep(P::kRecord).text());
}

bool KVRMainServer::updateUserType(int64_t userType) {
    return requestOk(124, P().number(userType).sep(P::kRecord).text());
}

bool KVRMainServer::registerNetInfo(const std::string& natIP, int natPort, const std::string& gateway,
                                    const std::string& locIP, int locPort) {
    P p;
    p.field(natIP).sep(P::kField).number(natPort).sep(P::kField).field(gateway).sep(P::kField);
    p.field(locIP).sep(P::kField).number(locPort).sep(P::kRecord);
    return requestOk(173, p.text(), Mark::ClearReply, true);
}

bool KVRMainServer::updateOwnInfo(char cam, char mic, char camCtrl, const std::string& locIP) {
    P p;
    p.field(std::string_view(&cam, 1)).sep(P::kField).field(std::string_view(&mic, 1)).sep(P::kField);
    p.field(std::string_view(&camCtrl, 1)).sep(P::kField).field(locIP).sep(P::kRecord);
    return requestOk(15, p.text(), Mark::ClearReply, true);
}

// Lecture room and sub-rooms.

std::optional<KVRControlPacket> KVRMainServer::getLectureRoomInfo(const std::string& ownerOrCourseKey,
                                                                  int64_t topRoomNo) {
    return requestPacket(236, P().field(ownerOrCourseKey).sep(P::kField).number(topRoomNo).sep(P::kRecord).text());
}

std::optional<KVRControlPacket> KVRMainServer::getSubRoomInfo(int64_t subRoomNo) {
    return requestPacket(38, P().number(subRoomNo).sep(P::kRecord).text(), Mark::FreshWait);
}

bool KVRMainServer::updateSubRoomEx(int64_t topRoomNo, int64_t subRoomNo, const std::string& name,
                                    const std::string& owner, const std::string& captain,
                                    const std::string& speacker, int64_t maxuser) {
    P p;
    p.number(topRoomNo).sep(P::kField).number(subRoomNo).sep(P::kField).field(name).sep(P::kField);
    p.field(owner).sep(P::kField).field(captain).sep(P::kField).field(speacker).sep(P::kField);
    p.number(maxuser).sep(P::kRecord);
    return requestOk(138, p.text());
}

bool KVRMainServer::enterSubRoom(int64_t subRoomNo, const std::string& userID, int64_t userType, bool needOwner,
                                 bool checkMaxUser) {
    P p;
    p.number(subRoomNo).sep(P::kField).field(userID).sep(P::kField).number(userType).sep(P::kField);
    p.number(needOwner ? 1 : 0).sep(P::kField).number(checkMaxUser ? 1 : 0).sep(P::kRecord);
    return requestOk(54, p.text(), Mark::FreshWait);
}

bool KVRMainServer::enterSubRoomNotify(int64_t subRoomNo) {
    return requestOk(46, P().number(subRoomNo).sep(P::kRecord).text(), Mark::FreshWait);
}

bool KVRMainServer::exitSubRoom(int64_t subRoomNo, const std::string& userID) {
    return requestOk(51, P().number(subRoomNo).sep(P::kField).field(userID).sep(P::kRecord).text(), Mark::FreshWait);
}

// Users and conference state.

std::optional<KVRControlPacket> KVRMainServer::getSubRoomUserListAll(int64_t subRoomNo, int64_t offset,
                                                                     int64_t count) {
    P p;
    p.number(subRoomNo).sep(P::kField).number(offset).sep(P::kField).number(count).sep(P::kField);
    return requestPacket(175, p.text(), Mark::FreshWait);
}

std::optional<KVRControlPacket> KVRMainServer::getUserInfoWithNATInfo(const std::string& userID) {
    auto reply = requestPacket(176, P().field(userID).sep(P::kField).text());
    // Gives the entering user's media time to reach the relay before the caller starts its tile.
    if (reply && timing_.userInfoPause.count() > 0) std::this_thread::sleep_for(timing_.userInfoPause);
    return reply;
}

std::optional<KVRControlPacket> KVRMainServer::getConfInfo(int64_t subRoomNo) {
    return requestPacket(127, P().number(subRoomNo).sep(P::kField).text());
}

bool KVRMainServer::setConfInfo(const std::string& confInfo) { return requestOk(114, P().raw(confInfo).text()); }

// Shared documents and board data.

std::optional<KVRControlPacket> KVRMainServer::getSharedDocumentListCount(int64_t subRoomNo) {
    return requestPacket(480, P().number(subRoomNo).sep(P::kField).text());
}

std::optional<KVRControlPacket> KVRMainServer::getSharedDocumentList(int64_t subRoomNo, int64_t start,
                                                                     int64_t count) {
    P p;
    p.number(subRoomNo).sep(P::kField).number(start).sep(P::kField).number(count).sep(P::kRecord);
    return requestPacket(481, p.text());
}

bool KVRMainServer::addShareDocument(int64_t subRoomNo, const std::string& title, const std::string& fileOrigin,
                                     const std::string& fileTemp) {
    P p;
    p.number(subRoomNo).sep(P::kField).field(title).sep(P::kField).field(fileOrigin).sep(P::kField);
    p.field(fileTemp).sep(P::kRecord);
    return requestOk(218, p.text());
}

bool KVRMainServer::updateShareDocumentActive(int64_t subRoomNo, const std::string& fileTemp, int64_t active) {
    P p;
    p.number(subRoomNo).sep(P::kField).field(fileTemp).sep(P::kField).number(active).sep(P::kRecord);
    return requestOk(223, p.text());
}

bool KVRMainServer::deleteDocContentByTitle(int64_t subRoomNo, const std::string& title) {
    return requestOk(221, P().number(subRoomNo).sep(P::kField).field(title).sep(P::kRecord).text());
}

bool KVRMainServer::deleteDocContentByFilename(int64_t subRoomNo, const std::string& filename) {
    return requestOk(220, P().number(subRoomNo).sep(P::kField).field(filename).sep(P::kRecord).text());
}

bool KVRMainServer::sendDocPacket(int type, const std::string& data) {
    return requestOk(224, P().number(type).sep(P::kField).raw(data).text());
}

bool KVRMainServer::sendDocPacketEx(int type, const std::string& data) {
    return requestOk(224, P().number(type).sep(P::kField).raw(data).text());
}

// Commands to other clients.

namespace {
void appendClientCommand(P& p, int64_t cmd, std::optional<std::string_view> data) {
    p.number(cmd).sep(P::kData);
    if (data) p.raw(*data).sep(P::kData);
    p.sep(P::kRecord);
}
}  // namespace

bool KVRMainServer::sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data) {
    P p;
    p.number(subRoomNo).sep(P::kField).sep(P::kField);
    appendClientCommand(p, cmd, data);
    return requestOk(853, p.text());
}

bool KVRMainServer::sendToClientEx(const std::string& userID, int64_t cmd, std::optional<std::string_view> data) {
    P p;
    p.number(-1).sep(P::kField).field(userID).sep(P::kField);
    appendClientCommand(p, cmd, data);
    return requestOk(853, p.text());
}

// Learning portal.

std::optional<KVRControlPacket> KVRMainServer::getLLEventUploadServer(const std::string& rtp) {
    auto reply = requestPacket(899, P().field(rtp).sep(P::kRecord).text());
    if (!reply) return reply;
    auto records = kvr::split(reply->payloadText(), std::string_view("\x02", 1));
    auto fields = kvr::split(records.front(), std::string_view("\x01", 1));
    if (fields.size() < 2) {
        KVRLog("control: upload server reply has %zu fields; not stored", fields.size());
        return reply;
    }
    long long port = kvr::leadingInteger(fields[1]);
    if (fields[0].empty() || port < 1 || port > 65535) {
        KVRLog("control: upload server reply \"%s\" port %lld is unusable; not stored", fields[0].c_str(), port);
        return reply;
    }
    if (auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig())
        config->setLLEventUploadServerInfo(fields[0], port);
    return reply;
}

bool KVRMainServer::sendQuilloraLog(const std::string& record) {
    return requestOk(893, P().raw(record).sep(P::kRecord).text());
}
bool KVRMainServer::sendEnqueteRegister(const std::string& record) {
    return requestOk(894, P().raw(record).sep(P::kRecord).text());
}
bool KVRMainServer::sendEnqueteAnswer(const std::string& record) {
    return requestOk(895, P().raw(record).sep(P::kRecord).text());
}
bool KVRMainServer::sendQuilloraDocLog(const std::string& record) {
    return requestOk(896, P().raw(record).sep(P::kRecord).text());
}
bool KVRMainServer::sendQuilloraVOD(const std::string& record) {
    return requestOk(1100, P().raw(record).sep(P::kRecord).text());
}

std::optional<KVRControlPacket> KVRMainServer::urlRequest(uint16_t command) {
    return requestPacket(command, std::nullopt);
}
std::optional<KVRControlPacket> KVRMainServer::getLLViewUrl() { return urlRequest(1101); }
std::optional<KVRControlPacket> KVRMainServer::getLLEnqueteLectureUrl() { return urlRequest(1102); }
std::optional<KVRControlPacket> KVRMainServer::getLLEnqueteStudentUrl() { return urlRequest(1103); }

// Database query.

std::optional<KVRControlPacket> KVRMainServer::getQuery(const std::string& sql, int64_t items) {
    return requestPacket(620, P().field(sql).sep(P::kField).number(items).sep(P::kRecord).text());
}

std::optional<std::string> KVRMainServer::userInRoomQuery(const std::string& userID, int64_t subRoomNo) {
    // The ID comes from the launch URL; it goes into SQL text, so only plain printable text is let through
    // and quotes are doubled.
    std::string quoted;
    for (char c : userID) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') return std::nullopt;
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
    }
    return "select count(curnrmusrinf_userid) from currentroomuserinfo where curnrmusrinf_userid='" + quoted +
           "' and curnrmusrinf_roomno=" + std::to_string(subRoomNo);
}

std::optional<bool> KVRMainServer::isUserInRoom(const std::string& userID, int64_t subRoomNo) {
    auto sql = userInRoomQuery(userID, subRoomNo);
    if (!sql) {
        KVRLog("control: user ID with control characters not queried");
        return std::nullopt;
    }
    auto reply = getQuery(*sql, 1);
    if (!reply) return std::nullopt;
    auto rows = kvr::split(reply->payloadText(), std::string_view("\x02", 1));
    auto columns = kvr::split(rows.front(), std::string_view("\x01", 1));
    return kvr::leadingInteger(columns.front()) > 0;
}
