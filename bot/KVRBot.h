#pragma once
// A headless participant: joins from a launch URL with the client's own main view logic on a real-time
// run loop, stays for its duration, leaves in order, and reports what it saw.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "KVRBotOptions.h"
#include "conference/KVRMainViewDelegate.h"

class KVRMainView;
class KVRRealTimeRunLoop;
class KVRBotCounters;
class KVRBotVideo;
class KVRBotAudio;
class KVRBotActions;

class KVRBot : public KVRMainViewDelegate {
public:
    explicit KVRBot(KVRBotOptions options, std::FILE* out = stdout);
    ~KVRBot() override;

    // Runs until the bot has left or failed; returns the exit code (0 after an orderly leave).
    int run();
    // Thread- and signal-safe: asks for an orderly leave.
    static void requestLeave();

    // KVRMainViewDelegate.
    void setWindowTitle(const std::string& title) override;
    void joinStep(const std::string& step, bool ok) override;
    void showJoinedState(const std::string& roomName, const std::vector<RoomUser>& users) override;
    void connectFailed() override;
    void didInitWork() override;
    void willTerminate(int exitCode) override;

    // The final report as one JSON line.
    std::string reportJson(int exitCode) const;

private:
    void line(const std::string& text);
    // Starts the action clock once: on entry, or when --wait-users are in the room.
    void startActions();

    KVRBotOptions options_;
    std::FILE* out_;
    std::FILE* logFile_ = nullptr;
    std::shared_ptr<KVRRealTimeRunLoop> loop_;
    std::shared_ptr<KVRMainView> view_;
    std::shared_ptr<KVRBotCounters> counters_;
    std::shared_ptr<KVRBotVideo> video_;  // with --video or --save-frames
    std::shared_ptr<KVRBotAudio> audio_;  // with --tone or --record-audio
    std::unique_ptr<KVRBotActions> actions_;
    bool actionsStarted_ = false;
    std::string room_;
    std::vector<std::string> users_;
    bool inRoom_ = false;
    bool reported_ = false;
};
