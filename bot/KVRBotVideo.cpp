#include "KVRBotVideo.h"

#include <filesystem>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "platform/synthetic/KVRTestPatternCamera.h"
#include "relay/KVRRelayPacket.h"
#include "relay/KVRRelayServer.h"
#include "relay/KVRRelayVideoSink.h"
#include "relay/KVRVideoDataSender.h"
#include "relay/KVRVideoPayload.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRCameraInterface.h"
#include "video/KVRVideoReceiver.h"

struct KVRBotVideo::Remote {
    std::string userID;
    KVRVideoReceiver receiver;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::vector<uint8_t>> queue;
    bool closing = false;
    // Written by the receive thread under `mutex`.
    uint64_t payloads = 0;
    uint64_t queueDropped = 0;
    // Written by the decoding thread; read after it has ended, or under `mutex` for the snapshot.
    uint64_t frames = 0;
    uint32_t lastFrame = 0;
    uint64_t decoded = 0;
    uint64_t skipped = 0;
    uint64_t refused = 0;
    size_t saved = 0;
    std::thread thread;
};

KVRBotVideo::KVRBotVideo(Options options, std::string ownUserID, LineOut line)
    : options_(std::move(options)), ownUserID_(std::move(ownUserID)), line_(std::move(line)) {
    if (!options_.saveFolder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options_.saveFolder, ec);
        if (ec && line_) line_("kelvara-bot: cannot create " + options_.saveFolder + ": " + ec.message());
    }
}

KVRBotVideo::~KVRBotVideo() { stop(); }

std::string KVRBotVideo::fileSafe(const std::string& userID) {
    std::string out;
    for (unsigned char c : userID) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || (c == '.' && !out.empty());
        out += ok ? static_cast<char>(c) : '_';
    }
    return out.empty() ? "_" : out;
}

bool KVRBotVideo::startSending(const std::shared_ptr<KVRRelayServer>& relay) {
    if (!options_.send || interface_) return interface_ != nullptr;
    camera_ = std::make_shared<KVRTestPatternCamera>(std::max(options_.fps, 1) * 2);
    // No settings file: a bot's choice is its command line, and it must not touch a person's settings.
    device_ = std::make_shared<KVRCameraDevice>(camera_->devices(), std::string());
    device_->setInfo(0, options_.width, options_.height, options_.fps);
    interface_ = std::make_shared<KVRCameraInterface>(camera_, device_);
    interface_->videoDataSender().setSink(std::make_shared<KVRRelayVideoSink>(relay));
    auto* g = KVRGlobalData::sharedGlobalData();
    g->setCameraDevice(device_);
    g->setCameraInterface(interface_);
    const bool ok = interface_->start();
    if (line_)
        line_("kelvara-bot: video " + std::string(ok ? "sending" : "cannot start") + " test pattern " +
              std::to_string(options_.width) + "x" + std::to_string(options_.height) + " at " +
              std::to_string(options_.fps) + " fps");
    return ok;
}

void KVRBotVideo::receivedVideoData(std::span<const uint8_t> datagram) {
    auto decoded = KVRRelayPacket::decode(datagram);
    std::unique_lock lock(mutex_);
    if (stopped_) return;
    if (!decoded) {
        if (++refusedDatagrams_ <= 10) KVRLog("bot video: dropped a malformed video datagram (%zu bytes)", datagram.size());
        return;
    }
    const std::string& user = decoded->header.userID;
    if (user == ownUserID_) return;
    auto it = remotes_.find(user);
    if (it == remotes_.end()) {
        if (remotes_.size() >= options_.remoteLimit) {
            if (++refusedUsers_ == 1)
                KVRLog("bot video: more than %zu remote senders; video of further users is dropped", options_.remoteLimit);
            return;
        }
        auto remote = std::make_unique<Remote>();
        remote->userID = user;
        if (!options_.saveFolder.empty())
            remote->receiver.setSaveFrames(options_.saveFolder, options_.saveEvery, fileSafe(user));
        Remote* r = remote.get();
        r->thread = std::thread([this, r] { decodeLoop(*r); });
        it = remotes_.emplace(user, std::move(remote)).first;
    }
    Remote& r = *it->second;
    lock.unlock();  // the map entry lives until stop(), which waits for this thread's hand-off below
    {
        std::lock_guard rl(r.mutex);
        if (r.closing) return;
        ++r.payloads;
        if (r.queue.size() >= options_.queueLimit) {
            ++r.queueDropped;
            return;
        }
        r.queue.emplace_back(decoded->payload.begin(), decoded->payload.end());
    }
    r.wake.notify_one();
}

void KVRBotVideo::decodeLoop(Remote& r) {
    for (;;) {
        std::vector<uint8_t> payload;
        {
            std::unique_lock lock(r.mutex);
            r.wake.wait(lock, [&] { return r.closing || !r.queue.empty(); });
            // On close the queue is still drained: what arrived is decoded and saved.
            if (r.queue.empty()) return;
            payload = std::move(r.queue.front());
            r.queue.pop_front();
        }
        const auto parsed = kvr::video::parsePayload(payload);
        r.receiver.receivedVideoPayload(payload);
        std::lock_guard lock(r.mutex);
        if (parsed && parsed->header.frameIndex != r.lastFrame) {
            r.lastFrame = parsed->header.frameIndex;
            ++r.frames;
        }
        r.decoded = r.receiver.picturesDecoded();
        r.skipped = r.receiver.framesSkipped();
        r.refused = r.receiver.payloadsRefused();
        r.saved = r.receiver.savedFiles().size();
    }
}

void KVRBotVideo::stop() {
    // The camera first, so nothing more is sent while the room is being left.
    if (interface_) interface_->stop();
    std::vector<Remote*> remotes;
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        for (auto& [id, r] : remotes_) remotes.push_back(r.get());
    }
    for (Remote* r : remotes) {
        {
            std::lock_guard lock(r->mutex);
            r->closing = true;
        }
        r->wake.notify_one();
    }
    for (Remote* r : remotes)
        if (r->thread.joinable()) r->thread.join();
}

std::string KVRBotVideo::reportJson() const {
    std::string out = "{\"sent\":";
    out += std::to_string(interface_ ? interface_->videoDataSender().framesSent() : 0);
    std::lock_guard lock(mutex_);
    out += ",\"malformed\":" + std::to_string(refusedDatagrams_) + ",\"remote\":{";
    bool first = true;
    for (const auto& [id, r] : remotes_) {
        std::lock_guard rl(r->mutex);
        // User ids come from the network: only file-safe characters reach the JSON key.
        out += std::string(first ? "" : ",") + "\"" + fileSafe(id) + "\":{\"payloads\":" + std::to_string(r->payloads) +
               ",\"frames\":" + std::to_string(r->frames) + ",\"decoded\":" + std::to_string(r->decoded) +
               ",\"skipped\":" + std::to_string(r->skipped) + ",\"refused\":" + std::to_string(r->refused) +
               ",\"queueDropped\":" + std::to_string(r->queueDropped) + ",\"saved\":" + std::to_string(r->saved) + "}";
        first = false;
    }
    return out + "}}";
}
