#pragma once
// A control client connected to a scripted peer, with a recording dispatcher and a manual main run loop.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/KVRMainServer.h"
#include "control/KVRScriptedPeer.h"
#include "control/KVRServerAlarmSink.h"
#include "platform/synthetic/KVRManualRunLoop.h"

class KVRRecordingSink : public KVRServerAlarmSink {
public:
    explicit KVRRecordingSink(std::shared_ptr<KVRRunLoop> loop) : loop_(std::move(loop)) {}

    void serverAlarmPacket(const KVRControlPacket& packet) override {
        std::lock_guard lock(mutex_);
        events_.push_back(packet);
    }
    void criticalError(const std::string& text) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(text);
        errorsOnMainThread_ = errorsOnMainThread_ && loop_->isMainThread();
    }

    std::vector<uint16_t> eventCommands() const {
        std::lock_guard lock(mutex_);
        std::vector<uint16_t> out;
        for (const auto& e : events_) out.push_back(e.command);
        return out;
    }
    std::vector<KVRControlPacket> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    bool errorsOnMainThread() const {
        std::lock_guard lock(mutex_);
        return errorsOnMainThread_;
    }

private:
    std::shared_ptr<KVRRunLoop> loop_;
    mutable std::mutex mutex_;
    std::vector<KVRControlPacket> events_;
    std::vector<std::string> errors_;
    bool errorsOnMainThread_ = true;
};

inline KVRMainServer::Timing kvrFastTiming() {
    KVRMainServer::Timing t;
    t.replyWait = std::chrono::milliseconds(400);  // room for a loaded machine; time-outs stay short
    t.aliveInterval = std::chrono::hours(1);  // one keep-alive at connect, then quiet
    t.connectTimeout = std::chrono::milliseconds(1000);
    t.connectPoll = std::chrono::milliseconds(100);
    t.userInfoPause = std::chrono::milliseconds(0);
    return t;
}

struct KVRControlRig {
    explicit KVRControlRig(KVRMainServer::Timing timing = kvrFastTiming())
        : loop(std::make_shared<KVRManualRunLoop>()),
          sink(std::make_shared<KVRRecordingSink>(loop)),
          server(std::make_unique<KVRMainServer>(loop, timing)) {
        server->setAlarmSink(sink);
    }

    // Connects and waits for the first keep-alive, so that it cannot race with what the test sends.
    bool connect() {
        return server->connectToServer("127.0.0.1", peer.port()) &&
               KVRScriptedPeer::eventually([&] { return !peer.received(true).empty(); });
    }

    // Drains the main run loop until the lost connection has been reported.
    bool criticalErrorReported() {
        return KVRScriptedPeer::eventually([&] {
            loop->runPending();
            return !sink->errors().empty();
        });
    }

    std::shared_ptr<KVRManualRunLoop> loop;
    std::shared_ptr<KVRRecordingSink> sink;
    KVRScriptedPeer peer;
    std::unique_ptr<KVRMainServer> server;
};
