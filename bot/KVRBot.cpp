#include "app/KVRJson.h"
#include "KVRBot.h"

#include "KVRBotVideo.h"
#include "KVRBotAudio.h"

#include "KVRBotActions.h"

#include <csignal>
#include <filesystem>

#include "app/KVRAppDelegate.h"
#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRConferenceHandler.h"
#include "conference/KVRMainView.h"
#include "control/KVRMainServer.h"
#include "platform/KVRAlerts.h"
#include "platform/KVRRealTimeRunLoop.h"
#include "relay/KVRRelayServer.h"

namespace {

volatile std::sig_atomic_t leaveRequested = 0;


}  // namespace

// Sits between the transports and the dispatcher and counts what passes; forwards everything.
class KVRBotCounters : public KVRServerAlarmSink, public KVRRelayDataSink {
public:
    explicit KVRBotCounters(std::shared_ptr<KVRConferenceEventHandler> next) : next_(std::move(next)) {}

    void serverAlarmPacket(const KVRControlPacket& packet) override {
        {
            std::lock_guard lock(mutex_);
            ++events_[packet.command];
        }
        next_->serverAlarmPacket(packet);
    }
    void criticalError(const std::string& text) override { next_->criticalError(text); }
    void receivedAudioData(std::span<const uint8_t> d, const KVRRelayAddress& a) override {
        ++audio;
        if (audioTap) audioTap->receivedAudioData(d);
        next_->receivedAudioData(d, a);
    }
    void receivedVideoData(std::span<const uint8_t> d, const KVRRelayAddress& a) override {
        ++video;
        if (videoTap) videoTap->receivedVideoData(d);
        next_->receivedVideoData(d, a);
    }
    void receivedDocmentData(std::span<const uint8_t> d, const KVRRelayAddress& a) override {
        ++doc;
        next_->receivedDocmentData(d, a);
    }
    void receivedTextData(std::span<const uint8_t> d, const KVRRelayAddress& a) override {
        ++text;
        next_->receivedTextData(d, a);
    }
    std::map<uint16_t, uint64_t> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

    std::atomic<uint64_t> audio{0}, video{0}, doc{0}, text{0};
    // Set before the counters become the relay's sink, never changed after.
    std::shared_ptr<KVRBotVideo> videoTap;
    std::shared_ptr<KVRBotAudio> audioTap;

private:
    std::shared_ptr<KVRConferenceEventHandler> next_;
    mutable std::mutex mutex_;
    std::map<uint16_t, uint64_t> events_;
};

KVRBot::KVRBot(KVRBotOptions options, std::FILE* out) : options_(std::move(options)), out_(out) {
    if (!options_.logFile.empty()) {
        logFile_ = std::fopen(options_.logFile.c_str(), "a");
        if (!logFile_) std::fprintf(stderr, "kelvara-bot: cannot open %s; reporting to stdout only\n", options_.logFile.c_str());
        auto parent = std::filesystem::absolute(options_.logFile).parent_path();
        KVRLogSettings::setDocumentsFolder(parent.string());
    }
}

KVRBot::~KVRBot() {
    if (view_) view_->setDelegate(nullptr);
    if (logFile_) std::fclose(logFile_);
}

void KVRBot::requestLeave() { leaveRequested = 1; }

void KVRBot::line(const std::string& text) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    if (logFile_) {
        std::fprintf(logFile_, "%s\n", text.c_str());
        std::fflush(logFile_);
    }
}

int KVRBot::run() {
    auto* g = KVRGlobalData::sharedGlobalData();
    loop_ = std::make_shared<KVRRealTimeRunLoop>();
    g->setRunLoop(loop_);
    g->setAlerts(std::make_shared<KVRHeadlessAlerts>());

    KVRAppDelegate app;
    app.initWork();
    view_ = std::make_shared<KVRMainView>(*loop_);
    view_->setDelegate(this);
    g->setMainView(view_);
    view_->viewDidLoad();
    app.handleGETUrlEvent(options_.url);

    // Signals only set a flag; the leave itself runs on the main thread.
    loop_->startTimer(std::chrono::milliseconds(100), true, [this] {
        if (leaveRequested && view_->state() != KVRMainView::State::Closing &&
            view_->state() != KVRMainView::State::Closed) {
            leaveRequested = 0;
            line("kelvara-bot: leaving (signal)");
            if (view_->state() == KVRMainView::State::InRoom)
                view_->leaveWithoutQuestion();
            else
                loop_->quit(KVRMainView::kExitJoinFailed);
        }
    });
    int code = loop_->run();
    if (video_) video_->stop();
    if (audio_) audio_->stop();
    if (!reported_) line(reportJson(code));
    view_->setDelegate(nullptr);
    return code;
}

void KVRBot::setWindowTitle(const std::string& title) { room_ = title; }

void KVRBot::joinStep(const std::string& step, bool ok) {
    line("kelvara-bot: step " + step + (ok ? " ok" : " failed"));
    if (step == "in-room" && ok) {
        inRoom_ = true;
        if (video_) video_->startSending(KVRGlobalData::sharedGlobalData()->relayServer());
        if (audio_) audio_->start(KVRGlobalData::sharedGlobalData()->relayServer());
        if (options_.duration) {
            loop_->startTimer(*options_.duration, false, [this] {
                if (view_->state() != KVRMainView::State::InRoom) return;
                line("kelvara-bot: duration over; leaving");
                view_->leaveWithoutQuestion();
            });
        }
        if (!options_.waitUsers || users_.size() >= static_cast<size_t>(*options_.waitUsers)) startActions();
    }
}

void KVRBot::startActions() {
    if (actionsStarted_ || !actions_) return;
    actionsStarted_ = true;
    if (options_.waitUsers) line("kelvara-bot: " + std::to_string(users_.size()) + " users in the room; actions start");
    actions_->schedule(*loop_, options_.actions);
}

void KVRBot::showJoinedState(const std::string& roomName, const std::vector<RoomUser>& users) {
    room_ = roomName;
    users_.clear();
    std::string names;
    for (const auto& u : users) {
        users_.push_back(u.userID);
        names += (names.empty() ? "" : ",") + u.userID;
    }
    line("kelvara-bot: room \"" + roomName + "\" users " + names);
    if (inRoom_ && options_.waitUsers && users_.size() >= static_cast<size_t>(*options_.waitUsers)) startActions();
}

void KVRBot::connectFailed() {
    // A person would close the empty window; a bot has nothing to wait for.
    loop_->quit(KVRMainView::kExitJoinFailed);
}

void KVRBot::didInitWork() {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto events = g->conferenceEventHandler();
    if (!events) return;
    counters_ = std::make_shared<KVRBotCounters>(events);
    if (options_.video || !options_.saveFrames.empty()) {
        KVRBotVideo::Options vo;
        vo.send = options_.video;
        vo.fps = options_.videoFps;
        vo.saveFolder = options_.saveFrames;
        vo.saveEvery = options_.saveEvery;
        std::string uid;
        if (auto c = g->kvrcConfig()) uid = c->stringValue("UID").value_or("");
        video_ = std::make_shared<KVRBotVideo>(vo, uid, [this](const std::string& text) { line(text); });
        counters_->videoTap = video_;
    }
    if (options_.toneHz || !options_.recordAudio.empty()) {
        audio_ = std::make_shared<KVRBotAudio>(KVRBotAudio::Options{options_.toneHz, options_.recordAudio},
                                               [this](const std::string& text) { line(text); });
        counters_->audioTap = audio_;
    }
    if (auto main = g->mainServer()) main->setAlarmSink(counters_);
    if (auto relay = g->relayServer()) relay->setDataSink(counters_);
    actions_ = std::make_unique<KVRBotActions>(events, [this](const std::string& text) { line(text); });
}

void KVRBot::willTerminate(int exitCode) {
    if (video_) video_->stop();
    if (audio_) audio_->stop();
    line(reportJson(exitCode));
    reported_ = true;
}

std::string KVRBot::reportJson(int exitCode) const {
    auto* g = KVRGlobalData::sharedGlobalData();
    std::string uid;
    if (auto c = g->kvrcConfig()) uid = c->stringValue("UID").value_or("");
    std::string failure = "none";
    if (auto h = g->conferenceHandler()) failure = KVRConferenceHandler::stepName(h->lastFailure());
    std::string out = "{\"user\":" + kvr::jsonString(uid) + ",\"room\":" + kvr::jsonString(room_) +
                      ",\"joined\":" + (inRoom_ ? "true" : "false") + ",\"exit\":" + std::to_string(exitCode) +
                      ",\"failure\":" + kvr::jsonString(failure) + ",\"users\":[";
    for (size_t i = 0; i < users_.size(); ++i) out += (i ? "," : "") + kvr::jsonString(users_[i]);
    out += "],\"events\":{";
    uint64_t total = 0;
    if (counters_) {
        bool first = true;
        for (const auto& [cmd, n] : counters_->events()) {
            out += (first ? "\"" : ",\"") + std::to_string(cmd) + "\":" + std::to_string(n);
            first = false;
            total += n;
        }
    }
    out += "},\"eventsTotal\":" + std::to_string(total) + ",\"datagrams\":{";
    auto n = [&](const std::atomic<uint64_t>* c) { return std::to_string(counters_ ? c->load() : 0); };
    out += "\"audio\":" + n(counters_ ? &counters_->audio : nullptr) + ",\"video\":" +
           n(counters_ ? &counters_->video : nullptr) + ",\"doc\":" + n(counters_ ? &counters_->doc : nullptr) +
           ",\"text\":" + n(counters_ ? &counters_->text : nullptr) + "}";
    if (video_) out += ",\"video\":" + video_->reportJson();
    if (audio_) out += ",\"voice\":" + audio_->reportJson();
    uint64_t dropped = 0;
    if (auto relay = g->relayServer()) dropped = relay->droppedDatagrams();
    out += ",\"malformedDatagrams\":" + std::to_string(dropped);
    // The conference state the bot ended with, so tests can check what the room agreed on.
    out += ",\"state\":" + KVRBotActions::stateJson() + ",\"actions\":{\"ok\":" +
           std::to_string(actions_ ? actions_->succeeded() : 0) +
           ",\"failed\":" + std::to_string(actions_ ? actions_->failed() : 0) + "}}";
    return out;
}
