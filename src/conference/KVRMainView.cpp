#include "conference/KVRMainView.h"

#include <atomic>

#include "app/KVRConfig.h"
#include "app/KVRConferenceTime.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "audio/KVRSoundCardDevice.h"
#include "conference/KVRConferenceHandler.h"
#include "conference/KVRConferenceShareFileList.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRMainViewDelegate.h"
#include "conference/KVRSubroomList.h"
#include "platform/KVRAlerts.h"
#include "portal/KVRQuilloraLog.h"

namespace {
std::atomic<int> invalidParameterTicks{0};

std::shared_ptr<KVRConfig> config() { return KVRGlobalData::sharedGlobalData()->kvrcConfig(); }

std::string configText(const char* key, const std::string& fallback = {}) {
    auto c = config();
    if (!c) return fallback;
    return c->stringValue(key).value_or(fallback);
}

// The update feed's address is built but never fetched; only whether it would form a URL matters.
bool formsUrl(const std::string& host, const std::string& key) {
    if (host.empty()) return false;
    auto allowed = [](std::string_view s, std::string_view extra) {
        for (unsigned char c : s) {
            bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      extra.find(static_cast<char>(c)) != std::string_view::npos;
            if (!ok) return false;
        }
        return true;
    };
    return allowed(host, ".-_:[]") && allowed(key, ".-_~");
}

void sendPortalEvent(KVRQuilloraLog::EventCode event) {
    if (auto log = KVRGlobalData::sharedGlobalData()->quilloraLog()) log->sendLog(event);
}

}  // namespace

KVRMainView::KVRMainView(KVRRunLoop& runLoop, KVRMainViewOptions options)
    : runLoop_(runLoop), options_(std::move(options)) {}

KVRMainView::~KVRMainView() {
    *alive_ = false;
    for (auto* t : {&_timerParameterChecker, &startTimer_, &timerAutoRecord, &recordStopTimer_, &closeMessageTimer_})
        cancelTimer(*t);
    if (auto d = dispatcher()) d->setDelegateMainView(nullptr);
    if (auto h = handler()) h->setUserListChanged(nullptr);
}

void KVRMainView::resetParameterCheckCounter() { invalidParameterTicks = 0; }

void KVRMainView::cancelTimer(std::optional<KVRRunLoop::TimerId>& timer) {
    if (timer) runLoop_.cancelTimer(*timer);
    timer.reset();
}

std::shared_ptr<KVRConferenceEventHandler> KVRMainView::dispatcher() const {
    return KVRGlobalData::sharedGlobalData()->conferenceEventHandler();
}

std::shared_ptr<KVRConferenceHandler> KVRMainView::handler() const {
    return KVRGlobalData::sharedGlobalData()->conferenceHandler();
}

void KVRMainView::step(const char* name, bool ok) {
    KVRLog("join step %s: %s", name, ok ? "ok" : "failed");
    if (delegate_) delegate_->joinStep(name, ok);
}

void KVRMainView::viewDidLoad() {
    if (_timerParameterChecker || state_ != State::Loaded) return;
    registerHotkeyEvent();
    state_ = State::Watching;
    _timerParameterChecker = runLoop_.startTimer(kParameterWatchInterval, true, [this] { parameterChecker(); });
}

void KVRMainView::registerHotkeyEvent() {
    // The window reports the key combination's press and release through pushTalkHotKey; a system-wide
    // grab is the platform layer's business.
}

void KVRMainView::parameterChecker() {
    auto c = config();
    if (c && c->isValidParameter()) {
        cancelTimer(_timerParameterChecker);
        initWork();
        return;
    }
    if (invalidParameterTicks++ < kInvalidTicksBeforeAlert) return;
    cancelTimer(_timerParameterChecker);
    KVRGlobalData::messageBox(nullptr, "QRV_INVALID_ARGUMENT", std::string("IDS_OK"), std::nullopt, std::nullopt,
                              KVRAlerts::Warning);
    runLoop_.quit(1);
}

void KVRMainView::initWork() {
    if (state_ == State::Starting || state_ == State::InRoom || state_ == State::Closing || state_ == State::Closed)
        return;
    state_ = State::Starting;
    auto* g = KVRGlobalData::sharedGlobalData();
    auto loop = g->runLoop();

    // The order the objects are made in; each only reaches the others through the registry.
    auto mainServer = std::make_shared<KVRMainServer>(loop, options_.control);
    g->setMainServer(mainServer);
    auto relay = KVRRelayServer::initWithDelegateEx(options_.relay);
    if (!relay) KVRLog("initWork : the relay socket could not be made");
    g->setRelayServer(relay);
    auto joinHandler = std::make_shared<KVRConferenceHandler>();
    g->setConferenceHandler(joinHandler);
    g->setSubroomList(std::make_shared<KVRSubroomList>());
    g->setConferenceTime(std::make_shared<KVRConferenceTime>(config(), &runLoop_));
    g->setCurrentConferenceInfo(std::make_shared<KVRCurrentConferenceInfo>());
    g->setConferenceUserList(std::make_shared<KVRConferenceUserList>());
    g->setQuilloraLog(std::make_shared<KVRQuilloraLog>());
    g->setConferenceShareFileList(std::make_shared<KVRConferenceShareFileList>());
    if (loop) {
        auto events = std::make_shared<KVRConferenceEventHandler>(loop, nullptr, options_.events);
        g->setConferenceEventHandler(events);
        events->setDelegateMainView(this);
        events->setConferenceRoomOps(joinHandler.get());
        mainServer->setAlarmSink(events);
        if (relay) relay->setDataSink(events);
    } else {
        KVRLog("initWork : no main run loop; server events will not be handled");
    }
    std::weak_ptr<bool> alive = alive_;
    joinHandler->setUserListChanged([this, alive] {
        if (auto a = alive.lock(); a && *a) refreshJoinedState();
    });

    if (delegate_) delegate_->showProgressIndicator(false);
    std::string title = configText("RNM", "(null)");
    if (delegate_) delegate_->setWindowTitle(title);

    std::string uid = configText("UID");
    std::string sip = configText("SIP");
    if (relay) relay->setInfo(uid, sip, config() ? config()->integerValue("FSP") : 0);
    if (delegate_) delegate_->didInitWork();

    if (formsUrl(sip, configText("UDK")))
        updaterDidNotFindUpdate();
    else
        start();
}

void KVRMainView::updaterDidNotFindUpdate() {
    int height = delegate_ ? delegate_->mainScreenVisibleHeight() : 0;
    if (height <= 0) height = 768;
    if (delegate_) delegate_->setWindowFrame(0, height, 1024, 768);
    deviceCheck();
}

void KVRMainView::deviceCheck() {
    auto sound = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    if (delegate_ && !(sound && sound->isNotShowDeviceSetting())) delegate_->runDeviceCheck();
    cancelTimer(startTimer_);
    std::weak_ptr<bool> alive = alive_;
    startTimer_ = runLoop_.startTimer(options_.timing.startDelay, false, [this, alive] {
        if (auto a = alive.lock(); !a || !*a) return;
        startTimer_.reset();
        start();
    });
}

void KVRMainView::start() {
    if (state_ != State::Starting) return;
    if (delegate_) delegate_->showWaitWindow();
    auto h = handler();
    if (!h) return;

    bool ok = h->connectToMainServer();
    step("connect", ok);
    if (!ok) {
        // No way on, and nothing to leave: the empty window stays until it is closed by hand.
        joinFailed_ = true;
        if (delegate_) delegate_->connectFailed();
        return;
    }
    ok = h->getServerTime();
    step("server-time", ok);
    if (!ok) {
        joinFailed_ = true;
        AppClose();
        return;
    }
    if (config() && config()->productType() == 2) {
        if (!startQuillora()) return;
    }
    if (state_ != State::Starting && state_ != State::InRoom) return;
    if (delegate_) delegate_->hideWaitWindow();
    std::weak_ptr<bool> alive = alive_;
    cancelTimer(timerAutoRecord);
    timerAutoRecord = runLoop_.startTimer(options_.timing.autoRecordInterval, true, [this, alive] {
        if (auto a = alive.lock(); a && *a) startAutoRecord();
    });
}

bool KVRMainView::startQuillora() {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto h = handler();
    if (!h) return false;
    if (delegate_) delegate_->setWindowTitle(configText("RNM", "(null)"));

    bool ok = h->loginWithLeaseAndWait();
    step("login", ok);
    if (!ok) {
        joinFailed_ = true;
        AppClose();
        return false;
    }
    auto rooms = g->subroomList();
    auto conf = g->currentConferenceInfo();
    if (rooms && conf) conf->setScreenType(std::to_string(rooms->getMaxUserCount()));

    step("upload-server", h->getNetUploadServerInfo(configText("RTP")));

    ok = h->enterRoom();
    step("enter-room", ok);
    if (!ok) {
        joinFailed_ = true;
        sendPortalEvent(KVRQuilloraLog::InFail);
        AppClose();
        return false;
    }
    // The board contents of the room load here once the board exists.

    // The room view starts the dispatcher; until it exists the main view does.
    if (auto d = dispatcher()) {
        roomViewStarted_ = d->startConference();
        step("start-conference", roomViewStarted_);
    }
    ok = h->enterRoomNotify();
    step("enter-notify", ok);
    if (!ok) {
        joinFailed_ = true;
        AppClose();
        return false;
    }
    if (auto d = dispatcher()) d->allocVideoOwner();
    state_ = State::InRoom;
    refreshJoinedState();
    step("in-room", true);
    return true;
}

void KVRMainView::refreshJoinedState() {
    if (!delegate_ || state_ != State::InRoom) return;
    auto* g = KVRGlobalData::sharedGlobalData();
    // The launch's room name is what the portal showed the user; the record may still carry an old one.
    std::string room = configText("RNM");
    if (auto rooms = g->subroomList(); room.empty() && rooms) {
        if (auto info = rooms->getSelectedSubRoomInfo()) room = info->name();
    }
    std::vector<KVRMainViewDelegate::RoomUser> users;
    if (auto list = g->conferenceUserList()) {
        for (const auto& u : list->arrUserList()) users.push_back({u->userID(), u->alias(), u->userType()});
    }
    delegate_->showJoinedState(room, users);
}

void KVRMainView::startAutoRecord() {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto conf = g->currentConferenceInfo();
    if (!conf || !conf->isHasOnDemandRecordPermission()) {
        cancelTimer(timerAutoRecord);
        return;
    }
    auto clock = g->conferenceTime();
    if (clock && clock->isLectureTime()) {
        cancelTimer(timerAutoRecord);
        if (auto d = dispatcher()) d->startOndemandRecord(true);
    }
}

void KVRMainView::startProgressIndicator() {
    if (delegate_) delegate_->showProgressIndicator(true);
}

void KVRMainView::stopProgressIndicator() {
    if (delegate_) delegate_->showProgressIndicator(false);
}

void KVRMainView::AppCloseEx() {
    if (state_ == State::Closing || state_ == State::Closed) return;
    auto d = dispatcher();
    if (d && d->isRecording()) {
        // The first close only stops the recording; a later one asks.
        if (recordStopTimer_) return;
        std::weak_ptr<bool> alive = alive_;
        recordStopTimer_ = runLoop_.startTimer(options_.timing.recordStopDelay, false, [this, alive] {
            if (auto a = alive.lock(); !a || !*a) return;
            recordStopTimer_.reset();
            showRecoringMessage();
        });
        return;
    }
    int answer = KVRGlobalData::messageBox(nullptr, "IDS_QUESTION_LESSON_EXIT", std::string("IDS_YES"),
                                           std::string("IDS_CANCEL"), std::nullopt, KVRAlerts::Critical);
    if (answer == 1000) AppClose();
}

void KVRMainView::leaveWithoutQuestion() {
    if (auto d = dispatcher(); d && d->isRecording()) d->stopRecord();
    AppClose();
}

void KVRMainView::showRecoringMessage() {
    if (auto d = dispatcher()) d->stopRecord();
}

void KVRMainView::AppClose() { runClose(false); }

void KVRMainView::AppCloseFromShareDocFiles() { runClose(true); }

void KVRMainView::runClose(bool fromShareDocFiles) {
    if (state_ == State::Closed) return;
    // A second close while an upload runs waits for that upload's own continuation.
    if (state_ == State::Closing && !fromShareDocFiles) return;
    state_ = State::Closing;
    cancelTimer(startTimer_);
    cancelTimer(timerAutoRecord);
    auto d = dispatcher();
    if (d) {
        // false: an upload has started, and its completion (or failure) continues the close.
        if (!fromShareDocFiles && !d->uploadDocShareFile()) return;
        if (!d->uploadChatLog()) return;
    }
    stopAndExit();
    if (!_criticalErrorMessage.empty())
        KVRGlobalData::messageBox(nullptr, _criticalErrorMessage, std::string("IDS_OK"), std::nullopt, std::nullopt,
                                  KVRAlerts::Critical);
    terminate();
}

void KVRMainView::stopAndExit() {
    if (auto d = dispatcher()) d->stopConference();
    auto* g = KVRGlobalData::sharedGlobalData();
    auto main = g->mainServer();
    if (main && main->isConnected()) {
        sendPortalEvent(KVRQuilloraLog::Out);
        if (auto h = handler()) h->exitRoom();
    }
}

void KVRMainView::AppCloseFromChat() {
    if (state_ == State::Closed) return;
    state_ = State::Closing;
    stopAndExit();
    if (_criticalErrorMessage.empty()) {
        terminate();
        return;
    }
    cancelTimer(closeMessageTimer_);
    std::weak_ptr<bool> alive = alive_;
    closeMessageTimer_ = runLoop_.startTimer(options_.timing.closeMessageDelay, false, [this, alive] {
        if (auto a = alive.lock(); !a || !*a) return;
        closeMessageTimer_.reset();
        appCloseWithMessage();
    });
}

void KVRMainView::appCloseWithMessage() {
    if (!_criticalErrorMessage.empty())
        KVRGlobalData::messageBox(nullptr, _criticalErrorMessage, std::string("IDS_OK"), std::nullopt, std::nullopt,
                                  KVRAlerts::Critical);
    terminate();
}

void KVRMainView::terminate() {
    if (state_ == State::Closed) return;
    state_ = State::Closed;
    int code = kExitOrderly;
    if (!_criticalErrorMessage.empty())
        code = kExitCriticalError;
    else if (joinFailed_)
        code = kExitJoinFailed;
    exitCode_ = code;
    KVRLog("the program ends (exit code %d)", code);
    if (delegate_) delegate_->willTerminate(code);
    // The transports stop now, so nothing arrives for a program that is ending.
    if (auto main = KVRGlobalData::sharedGlobalData()->mainServer()) main->disconnectFromServer();
    runLoop_.quit(code);
}

void KVRMainView::criticalError(const std::string& text) {
    if (state_ == State::Closed) return;
    // The first message is the cause; later ones follow from it.
    if (_criticalErrorMessage.empty()) _criticalErrorMessage = text.empty() ? std::string(" ") : text;
    KVRLog("critical error: %s", text.c_str());
    if (state_ == State::Closing) return;
    AppClose();
}

void KVRMainView::waringError(const std::string& text) {
    KVRGlobalData::messageBox(nullptr, text, std::string("IDS_OK"), std::nullopt, std::nullopt, KVRAlerts::Critical);
}

void KVRMainView::enableMoveWindow(bool enable) {
    if (delegate_) delegate_->enableMoveWindow(enable);
}

void KVRMainView::pushTalkKey(bool pressed) {
    if (auto conf = KVRGlobalData::sharedGlobalData()->currentConferenceInfo()) conf->setPressedAudioSendKey(pressed);
    if (auto d = dispatcher()) d->pushTalkStatusChanged();
}

void KVRMainView::pushTalkHotKey(bool pressed) {
    if (pressed) {
        auto h = handler();
        if (h && h->isSeminarRoom()) return;
        pushTalkKey(true);
        return;
    }
    pushTalkKey(false);
}
