#include "conference/KVRConferenceEventHandler.h"

#include <algorithm>

#include "app/KVRByteReader.h"
#include "app/KVRConferenceTime.h"
#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRClientCommand.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceHandler.h"
#include "conference/KVRConferenceMainViewOps.h"
#include "conference/KVRConferenceRoomOps.h"
#include "conference/KVRConferenceUserInfo.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRLogoutInfo.h"
#include "conference/KVRSubroomInfo.h"
#include "conference/KVRSubroomList.h"
#include "portal/KVRQuilloraLog.h"

namespace {
KVRGlobalData* registry() { return KVRGlobalData::sharedGlobalData(); }

// The first record of a payload, split into its fields.
std::vector<std::string> firstRecordFields(std::string_view payload) {
    auto records = kvr::split(payload, "\x02");
    return kvr::split(records.front(), "\x01");
}

bool isNumber(std::string_view s) {
    auto t = kvr::trim(s);
    if (t.empty()) return false;
    size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    return i < t.size() && std::all_of(t.begin() + i, t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

constexpr size_t kDocDrawModeOffset = 322;
constexpr size_t kDocScrollXOffset = 328;
constexpr size_t kDocScrollYOffset = 332;
constexpr uint16_t kDrawModeWebScroll = 23;
}  // namespace

KVRConferenceEventHandler::KVRConferenceEventHandler(std::shared_ptr<KVRRunLoop> runLoop,
                                                     std::shared_ptr<KVRConferenceControl> control, Timing timing)
    : runLoop_(std::move(runLoop)), control_(std::move(control)), timing_(timing),
      alive_(std::make_shared<bool>(true)) {
    if (!runLoop_) runLoop_ = registry()->runLoop();
    if (!control_) control_ = std::make_shared<KVRMainServerControl>();
    _logoutViewController = std::make_unique<KVRLogoutInfo>(runLoop_, [this] { appClose(); });
}

KVRConferenceEventHandler::~KVRConferenceEventHandler() {
    *alive_ = false;
    if (tickTimer_ && runLoop_) runLoop_->cancelTimer(*tickTimer_);
}

void KVRConferenceEventHandler::setDelegateClientVideoBackView(KVRVideoWallDelegate* view) {
    std::lock_guard lock(relayDelegateMutex_);
    delegateClientVideoBackView_ = view;
}
void KVRConferenceEventHandler::setDelegateWindowManagerView(KVRWindowManagerDelegate* view) {
    std::lock_guard lock(relayDelegateMutex_);
    delegateWindowManagerView_ = view;
}
void KVRConferenceEventHandler::setDelegateChatView(KVRChatViewDelegate* view) {
    std::lock_guard lock(relayDelegateMutex_);
    textChatView_ = view;
}
void KVRConferenceEventHandler::setLogoutWindow(KVRLogoutWindowDelegate* window) {
    logoutWindow_ = window;
    _logoutViewController->setWindow(window);
}

KVRConferenceRoomOps* KVRConferenceEventHandler::roomOps() const {
    if (roomOps_) return roomOps_;
    return registry()->conferenceHandler().get();
}

KVRQuilloraLog* KVRConferenceEventHandler::quilloraLog() {
    if (auto log = registry()->quilloraLog()) return log.get();
    if (!ownQuilloraLog_) ownQuilloraLog_ = std::make_unique<KVRQuilloraLog>(control_);
    return ownQuilloraLog_.get();
}

void KVRConferenceEventHandler::after(std::chrono::milliseconds delay, void (KVRConferenceEventHandler::*body)()) {
    std::weak_ptr<bool> alive = alive_;
    runLoop_->startTimer(delay, false, [this, alive, body] {
        if (auto a = alive.lock(); a && *a) (this->*body)();
    });
}

// Life cycle ---------------------------------------------------------------------------------------------

bool KVRConferenceEventHandler::startConference() {
    if (_initialized.exchange(true)) return true;
    if (auto time = registry()->conferenceTime()) time->startCheck();
    tickTimer_ = runLoop_->startTimer(timing_.tick, true, [this] { serverPacketProcessor(); });
    return true;
}

void KVRConferenceEventHandler::stopConference() { stopRecord(); }

// Server events ------------------------------------------------------------------------------------------

void KVRConferenceEventHandler::serverAlarmPacket(const KVRControlPacket& packet) {
    KVRControlPacket copy{packet.command, packet.subCommand, packet.payload};
    // The reader never hands more than the largest payload, but the queue must not trust that.
    if (copy.payload.size() > KVRControlPacket::kMaxPayload) copy.payload.resize(KVRControlPacket::kMaxPayload);
    std::lock_guard lock(queueMutex_);
    _arrServerPacket.push_back(std::move(copy));
}

size_t KVRConferenceEventHandler::queuedEventCount() const {
    std::lock_guard lock(queueMutex_);
    return _arrServerPacket.size();
}

void KVRConferenceEventHandler::serverPacketProcessor() {
    // A handler showing a modal alert spins a nested loop in which this tick fires again; the event it
    // is working on must finish first, so the next waits in the queue.
    if (processing_) return;
    std::optional<KVRControlPacket> packet;
    {
        std::lock_guard lock(queueMutex_);
        if (_arrServerPacket.empty()) return;
        packet = std::move(_arrServerPacket.front());
        _arrServerPacket.pop_front();
    }
    processing_ = true;
    std::weak_ptr<bool> alive = alive_;
    handlePacket(*packet);
    if (auto a = alive.lock(); a && *a) processing_ = false;
}

void KVRConferenceEventHandler::handlePacket(const KVRControlPacket& packet) {
    const std::string text = packet.payloadText();
    switch (packet.command) {
        case 55: userEnterRoom(text); break;
        case 31:
        case 56: userExitRoom(text); break;
        case 82:
        case 83:
        case 85:
        case 102:
        case 111: userLoggedInOtherSide(text); break;
        case 128: changedCurrentConferenceInfo(text); break;
        case 208: receivedDocumentDataFromMainServer(text); break;
        case 242: kickoutByOwner(text); break;
        case 854: receivedClientData(text); break;
        case 898: lleventAlarm(packet.subCommand, text, text.size()); break;
        default: break;
    }
}

void KVRConferenceEventHandler::userEnterRoom(std::string_view payload) {
    auto fields = firstRecordFields(payload);
    if (fields.size() < 2 || fields[0].empty()) return;
    if (!isNumber(fields[1])) {
        KVRLog("Event 55 dropped: sub-room number is not a number");
        return;
    }
    const std::string& userID = fields[0];
    auto* ops = roomOps();
    if (!ops || !ops->remoteEnterRoom(userID, kvr::leadingInteger(fields[1]))) return;
    if (delegateLearningMainView_) {
        delegateLearningMainView_->addUser(userID);
        std::lock_guard lock(relayDelegateMutex_);
        if (delegateWindowManagerView_) delegateWindowManagerView_->allocVideoOwner();
    }
    refreshChangeOwner();
    hideLogoutInfo();
}

void KVRConferenceEventHandler::userExitRoom(std::string_view payload) {
    auto fields = firstRecordFields(payload);
    if (fields.empty() || fields[0].empty()) return;
    const std::string userID = fields[0];
    auto* g = registry();
    auto users = g->conferenceUserList();
    auto rooms = g->subroomList();
    int64_t subRoomNo = -1;
    if (fields.size() >= 2) {
        if (!isNumber(fields[1])) {
            KVRLog("Event 56 dropped: sub-room number is not a number");
            return;
        }
        subRoomNo = kvr::leadingInteger(fields[1]);
    } else {
        if (!users || !users->isExist(userID) || !rooms) return;
        subRoomNo = rooms->getSelectedSubRoomNo();
    }
    if (subRoomNo < 0) return;
    const bool wasOwner = rooms && rooms->isOwner(userID);
    if (auto* ops = roomOps()) ops->remoteExitRoom(userID, subRoomNo);
    if (delegateLearningMainView_) {
        delegateLearningMainView_->removeAtUser(userID);
        std::lock_guard lock(relayDelegateMutex_);
        if (delegateWindowManagerView_) delegateWindowManagerView_->allocVideoOwner();
    }
    if (wasOwner) {
        showLogoutInfo();
        loggedOutRoomOwner();
    } else {
        refreshChangeOwner();
    }
}

void KVRConferenceEventHandler::userLoggedInOtherSide(std::string_view) {
    criticalError(KVRStrings::text("IDS_STEAL_USERID"));
}

void KVRConferenceEventHandler::kickoutByOwner(std::string_view) {
    quilloraLog()->sendLog(KVRQuilloraLog::Workout);
    criticalError(KVRStrings::text("IDS_KICKED_OUT"));
}

void KVRConferenceEventHandler::changedCurrentConferenceInfo(std::string_view payload) {
    auto* g = registry();
    auto live = g->currentConferenceInfo();
    if (!live) return;
    KVRCurrentConferenceInfo scratch;
    // A rejected text would compare the live state against defaults and fan out changes nobody made.
    if (!scratch.setCurrConfInfo(payload, true)) {
        KVRLog("Event 128 dropped: the conference state text was rejected");
        return;
    }
    const bool modeChanged = live->getConfMode() != scratch.getConfMode();
    const bool ownerChanged = live->getOwnerID() != scratch.getOwnerID();
    const bool adminChanged = live->getAdminID() != scratch.getAdminID();
    const bool wasAdmin = live->isClassAdmin();
    const bool audioChanged = live->dicAudioIDs().size() != scratch.dicAudioIDs().size();
    const bool docChanged = live->dicDocIDs().size() != scratch.dicDocIDs().size();
    const bool chatSetChanged = live->dicChatIDs().size() != scratch.dicChatIDs().size();
    const bool chatSwitchChanged = live->getChatOnOff() != scratch.getChatOnOff();
    const bool enqueteChanged = live->getEnqueteValue() != scratch.getEnqueteValue();
    const bool zoomChanged = KVRCurrentConferenceInfo::zoomIndexFromValue(live->getBoardZoom()) !=
                             KVRCurrentConferenceInfo::zoomIndexFromValue(scratch.getBoardZoom());

    live->setCurrConfInfo(payload, true);

    auto config = g->kvrcConfig();
    const std::string uid = config ? config->stringValue("UID").value_or("") : "";

    if (ownerChanged) changedOwnerByRemote();
    if (adminChanged) changedAdminByRemote();
    if (modeChanged) {
        if (live->getConfMode() & 0x20) {
            auto id = live->getEnlargeVideoID();
            enlargeVideo(id, id);
        } else {
            enlargeVideo(std::nullopt, std::nullopt);
        }
        if (delegateLearningMainView_) {
            delegateLearningMainView_->changedConferenceMode();
            delegateLearningMainView_->changedScreenType();
        }
    }
    if (chatSwitchChanged || chatSetChanged) changedChatPermission();
    if (audioChanged) {
        changedAudioPermission();
        notice(live->isHasAudioPermission(uid) ? 5 : 8);
    }
    if (docChanged) {
        changedDrawingPermission();
        if (delegateToolbarMain_) delegateToolbarMain_->changedConferenceMode();
        if (delegateDocumentToolbarView_) delegateDocumentToolbarView_->changedPermission();
        notice(live->isHasDocPermission(uid) ? 4 : 7);
    }
    if (enqueteChanged) {
        auto* panel = config && config->isHasEnqueteCtrlPermission() ? delegateEnqueteView_ : delegateEnqueteAckView_;
        if (panel) panel->changedEnquete();
    }
    if (adminChanged) {
        const bool isAdmin = live->isClassAdmin();
        if (isAdmin && !wasAdmin) notice(3);
        if (!isAdmin && wasAdmin) notice(6);
        changedAdmin();
    }
    if (zoomChanged) {
        if (delegateboardContainerView_)
            delegateboardContainerView_->setZoomIndex(KVRCurrentConferenceInfo::zoomIndexFromValue(live->getBoardZoom()));
        changedContentZoom();
        if (delegateBoardBackView_) delegateBoardBackView_->setZoomButton();
    }
}

void KVRConferenceEventHandler::receivedDocumentDataFromMainServer(std::string_view payload) {
    auto fields = kvr::split(payload, "\x01");
    const auto type = kvr::leadingInteger(fields[0]);
    if (type == 19 && fields.size() > 4) {
        documentChanged(kvr::leadingInteger(fields[1]), fields[2], fields[3], fields[4]);
    } else if (type == 22 && fields.size() > 1) {
        if (delegateWebSahreBackView_) delegateWebSahreBackView_->goURL(fields[1]);
    }
}

void KVRConferenceEventHandler::documentChanged(int64_t kind, const std::string& title, const std::string& pageName,
                                                const std::string& fileName) {
    if (delegateboardContainerView_) delegateboardContainerView_->documentChanged(kind, title, pageName, fileName);
}

void KVRConferenceEventHandler::lleventAlarm(uint16_t subCommand, std::string_view data, size_t size) {
    data = data.substr(0, std::min(size, data.size()));
    if (data.empty()) return;
    auto fields = kvr::split(data, "\x01");
    const auto request = kvr::leadingInteger(fields[0]);
    KVREnqueteViewDelegate* panel = nullptr;
    if (request == 894 || request == 896 || request == 897) panel = delegateEnqueteView_;
    else if (request == 895) panel = delegateEnqueteAckView_;
    if (!panel) return;
    panel->alarmQuilloraData(request, subCommand, fields.size() > 1 ? fields[1] : std::string("Unknown Error"));
}

// Client commands ----------------------------------------------------------------------------------------

bool KVRConferenceEventHandler::isTrustedSender(const std::string& userID) const {
    auto* g = registry();
    if (auto rooms = g->subroomList(); rooms && rooms->isOwner(userID)) return true;
    if (auto info = g->currentConferenceInfo(); info && !userID.empty() && info->getAdminID() == userID) return true;
    if (auto users = g->conferenceUserList()) {
        auto type = users->getUserType(userID);
        if (type == 100 || type == 103) return true;
    }
    return false;
}

void KVRConferenceEventHandler::receivedClientData(std::string_view payload) {
    auto cmd = KVRClientCommand::parse(payload);
    if (!cmd) return;
    switch (cmd->command) {
        case KVRClientCommand::ChairRequest: notice(0, cmd->senderID); break;
        case KVRClientCommand::DocShareRequest: notice(1, cmd->senderID); break;
        case KVRClientCommand::SpeakRequestNotice: notice(2, cmd->senderID); break;
        case KVRClientCommand::AskDeviceInfo: sendDeviceInfo(cmd->senderID); break;
        case KVRClientCommand::ChangeDevice:
            if (!isTrustedSender(cmd->senderID)) {
                KVRLog("Client command 11 from %s ignored: sender may not change devices", cmd->senderID.c_str());
                break;
            }
            if (deviceInfoMaker_) deviceInfoMaker_->setChangeDeviceInfo(cmd->senderID, cmd->data);
            break;
        case KVRClientCommand::DeviceInfo:
        case KVRClientCommand::DeviceChangeReport: {
            std::lock_guard lock(relayDelegateMutex_);
            if (!delegateClientVideoBackView_) break;
            if (cmd->command == KVRClientCommand::DeviceInfo)
                delegateClientVideoBackView_->receivedDeviceInfo(cmd->senderID, cmd->data);
            else
                delegateClientVideoBackView_->receivedDeviceChangeInfo(cmd->senderID, cmd->data);
            break;
        }
        case KVRClientCommand::ShareFileListChanged: {
            std::lock_guard lock(relayDelegateMutex_);
            if (delegateWindowManagerView_) delegateWindowManagerView_->refreshShareFileList();
            break;
        }
        case KVRClientCommand::PrivateMessage:
            if (_noticeMessageViewManager) _noticeMessageViewManager->receivedMessage(cmd->senderID, cmd->data);
            break;
        case KVRClientCommand::Kickout:
            if (!isTrustedSender(cmd->senderID)) {
                KVRLog("Client command 17 from %s ignored: sender may not put users out", cmd->senderID.c_str());
                break;
            }
            kickoutByOwner({});
            break;
        default: break;  // 1, 5, 9, 18 and unknown numbers: nothing to do here
    }
}

bool KVRConferenceEventHandler::sendDeviceInfo(const std::string& userID) {
    const std::string info = deviceInfoMaker_ ? deviceInfoMaker_->getDeviceInfo() : std::string();
    return control_->sendToClientEx(userID, KVRClientCommand::DeviceInfo, info);
}

bool KVRConferenceEventHandler::requestAudioPermission() {
    auto rooms = registry()->subroomList();
    if (!rooms) return false;
    return control_->sendToClientEx(rooms->getOwnerID(), KVRClientCommand::SpeakRequest, std::nullopt);
}

bool KVRConferenceEventHandler::requestDocWritePermission() {
    auto rooms = registry()->subroomList();
    if (!rooms) return false;
    return control_->sendToClientEx(rooms->getOwnerID(), KVRClientCommand::BoardWriteRequest, std::nullopt);
}

bool KVRConferenceEventHandler::toggleMicPermission(const std::string& userID) {
    auto* g = registry();
    auto info = g->currentConferenceInfo();
    auto config = g->kvrcConfig();
    if (!info || !config || !info->isClassCtrlPermission() || config->isMyID(userID)) return false;
    info->toggleMicPermission(userID);
    sendConfInfo();
    changedAudioPermission();
    return true;
}

bool KVRConferenceEventHandler::toggleDrawingPermission(const std::string& userID) {
    auto* g = registry();
    auto info = g->currentConferenceInfo();
    auto config = g->kvrcConfig();
    if (!info || !config || !info->isClassCtrlPermission() || config->isMyID(userID)) return false;
    info->toggleDrawingPermission(userID);
    sendConfInfo();
    changedDrawingPermission();
    return true;
}

bool KVRConferenceEventHandler::setConferenceMode(int64_t mode) {
    auto info = registry()->currentConferenceInfo();
    if (!info || !info->isClassCtrlPermission()) return false;
    const int64_t previous = info->getConfMode();
    if (previous == mode) return false;
    info->setConfMode(mode);
    if (!sendConfInfo()) {
        info->setConfMode(previous);
        waringError(KVRStrings::text("IDS_FAILED_SET_ROOMENV"));
        return false;
    }
    changedConferenceMode();
    return true;
}

bool KVRConferenceEventHandler::setScreenType(int64_t type) {
    auto info = registry()->currentConferenceInfo();
    if (!info || !info->isClassCtrlPermission()) return false;
    const int64_t previous = info->getClassScreenType();
    if (previous == type) return false;
    info->setClassScreenType(type);
    if (!sendConfInfo()) {
        info->setClassScreenType(previous);
        waringError(KVRStrings::text("IDS_FAILED_SET_ROOMENV"));
        return false;
    }
    changedScreenType();
    return true;
}

bool KVRConferenceEventHandler::sendConfInfo() {
    auto info = registry()->currentConferenceInfo();
    return info && control_->setConfInfo(info->getInfo());
}

bool KVRConferenceEventHandler::isQuilloraSeminarType() const { return KVRQuilloraLog::isSeminarType(); }

// Owner and administrator follow-ups -----------------------------------------------------------------------

void KVRConferenceEventHandler::changedOwnerByRemote() {
    if (!isQuilloraSeminarType()) return;
    after(timing_.ownerFollowUp, &KVRConferenceEventHandler::changedOwnerByRemoteTimer);
}

void KVRConferenceEventHandler::changedOwnerByRemoteTimer() {
    auto* g = registry();
    auto rooms = g->subroomList();
    auto info = g->currentConferenceInfo();
    if (!rooms || !info || !rooms->getSelectedSubRoomInfo()) return;
    const int64_t roomNo = rooms->getSelectedSubRoomNo();
    auto* ops = roomOps();
    if (!ops || !ops->refreshSubRoomInfo(roomNo)) {
        KVRLog("Failed to update room info => room no : %lld", static_cast<long long>(roomNo));
        criticalError(KVRStrings::text("IDS_ERR_SERVER_PROTOCOL"));
        return;
    }
    info->changeOwner(rooms->getOwnerID(), info->getAdminID());
    allocVideoOwner();
    refreshChangeOwner();
    hideLogoutInfo();
}

void KVRConferenceEventHandler::changedAdminByRemote() {
    if (isQuilloraSeminarType()) return;
    {
        std::lock_guard lock(relayDelegateMutex_);
        if (delegateWindowManagerView_) delegateWindowManagerView_->refreshUserList();
    }
    if (delegateToolbarMain_) delegateToolbarMain_->setControlStatus();
    if (delegateBoardBackView_) delegateBoardBackView_->changedAdmin();
    if (delegateWebSahreBackView_) delegateWebSahreBackView_->changedPermission();
}

void KVRConferenceEventHandler::loggedOutRoomOwner() {
    if (!isQuilloraSeminarType()) return;
    after(timing_.ownerFollowUp, &KVRConferenceEventHandler::loggedOutRoomOwnerTimer);
}

void KVRConferenceEventHandler::loggedOutRoomOwnerTimer() {
    auto* g = registry();
    auto config = g->kvrcConfig();
    auto rooms = g->subroomList();
    auto users = g->conferenceUserList();
    auto info = g->currentConferenceInfo();
    if (!config || !rooms || !info) return;
    const auto ownType = config->getUserType();
    if (ownType != 100 && ownType != 103) return;
    const std::string uid = config->stringValue("UID").value_or("");
    // Another lecturer present keeps the room; this client itself is listed too and does not count.
    if (users) {
        for (const auto& u : users->arrUserList())
            if (u->userType() == 100 && u->userID() != uid) return;
    }
    if (!rooms->getSelectedSubRoomInfo()) return;
    const std::string oldOwner = rooms->getOwnerID();
    const int64_t roomNo = rooms->getSelectedSubRoomNo();
    auto* ops = roomOps();
    if (!ops || !ops->refreshSubRoomInfo(roomNo)) {
        KVRLog("Failed to update room info => room no : %lld", static_cast<long long>(roomNo));
        criticalError(KVRStrings::text("IDS_ERR_SERVER_PROTOCOL"));
        return;
    }
    info->changeOwner(oldOwner, uid);
    allocVideoOwner();
    sendConfInfo();
    refreshChangeOwner();
}

void KVRConferenceEventHandler::showLogoutInfo() {
    auto config = registry()->kvrcConfig();
    if (!config || config->getUserType() != 0) return;
    _logoutViewController->start(config->stringValue("RNM").value_or(""));
}

void KVRConferenceEventHandler::hideLogoutInfo() {
    auto users = registry()->conferenceUserList();
    // The owner is back: the count-down stops as well, or the lecture would still end at 0.
    if (_logoutViewController->isStarted() && users && users->isExistOwner()) _logoutViewController->stop();
}

void KVRConferenceEventHandler::allocVideoOwner() {
    if (!isQuilloraSeminarType()) return;
    {
        std::lock_guard lock(relayDelegateMutex_);
        if (!delegateWindowManagerView_) return;
        delegateWindowManagerView_->allocVideoOwner();
        delegateWindowManagerView_->refreshUserList();
        delegateWindowManagerView_->changedChatPermission();
    }
    if (delegateWebSahreBackView_) delegateWebSahreBackView_->changedPermission();
}

void KVRConferenceEventHandler::refreshChangeOwner() {
    if (_changeOwnerController) _changeOwnerController->refresh();
}

void KVRConferenceEventHandler::notice(int type) {
    auto config = registry()->kvrcConfig();
    notice(type, config ? config->stringValue("UID").value_or("") : std::string());
}

void KVRConferenceEventHandler::notice(int type, const std::string& userID) {
    if (_noticeMessageViewManager) _noticeMessageViewManager->normalMessage(type, userID);
}

// Fan-out ------------------------------------------------------------------------------------------------

void KVRConferenceEventHandler::changedConferenceMode() {
    if (delegateLearningMainView_) delegateLearningMainView_->changedConferenceMode();
    if (delegateToolbarMain_) delegateToolbarMain_->changedConferenceMode();
}
void KVRConferenceEventHandler::changedScreenType() {
    if (delegateLearningMainView_) delegateLearningMainView_->changedScreenType();
}
void KVRConferenceEventHandler::changedAdmin() {
    {
        std::lock_guard lock(relayDelegateMutex_);
        if (delegateClientVideoBackView_) delegateClientVideoBackView_->changedAdmin();
        if (delegateWindowManagerView_) delegateWindowManagerView_->refreshUserList();
    }
    if (delegateBoardBackView_) delegateBoardBackView_->changedAdmin();
}
void KVRConferenceEventHandler::changedChatPermission() {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->changedChatPermission();
}
void KVRConferenceEventHandler::changedAudioPermission() {
    std::lock_guard lock(relayDelegateMutex_);
    if (!delegateWindowManagerView_) return;
    delegateWindowManagerView_->refreshUserList();
    delegateWindowManagerView_->changedAudioPermission();
}
void KVRConferenceEventHandler::changedDrawingPermission() {
    std::lock_guard lock(relayDelegateMutex_);
    if (!delegateWindowManagerView_) return;
    delegateWindowManagerView_->refreshUserList();
    delegateWindowManagerView_->changedDrawingPermission();
}
void KVRConferenceEventHandler::enlargeVideo(const std::optional<std::string>& userID,
                                             const std::optional<std::string>& alias) {
    if (delegateLearningMainView_) delegateLearningMainView_->enlargeVideo(userID, alias);
}
bool KVRConferenceEventHandler::isRunningEnlargeVideo(const std::string& userID) {
    return delegateLearningMainView_ && delegateLearningMainView_->isRunningEnlargeVideo(userID);
}

// Errors and closing -------------------------------------------------------------------------------------

void KVRConferenceEventHandler::criticalError(const std::string& text) {
    if (runLoop_ && !runLoop_->isMainThread()) {
        std::weak_ptr<bool> alive = alive_;
        runLoop_->post([this, alive, text] {
            if (auto a = alive.lock(); a && *a) criticalError(text);
        });
        return;
    }
    if (delegateMainView_) delegateMainView_->criticalError(text);
}
void KVRConferenceEventHandler::waringError(const std::string& text) {
    if (delegateMainView_) delegateMainView_->waringError(text);
}
void KVRConferenceEventHandler::appClose() {
    if (delegateMainView_) delegateMainView_->AppClose();
}
void KVRConferenceEventHandler::appCloseEx() {
    if (delegateMainView_) delegateMainView_->AppCloseEx();
}
void KVRConferenceEventHandler::startProgressIndicator() {
    if (delegateMainView_) delegateMainView_->startProgressIndicator();
}
void KVRConferenceEventHandler::stopProgressIndicator() {
    if (delegateMainView_) delegateMainView_->stopProgressIndicator();
}

// Relay entry points -------------------------------------------------------------------------------------

void KVRConferenceEventHandler::receivedVideoData(std::span<const uint8_t> datagram, const KVRRelayAddress& from) {
    if (!_initialized) return;
    std::lock_guard lock(relayDelegateMutex_);
    if (isQuilloraSeminarType()) {
        if (delegateWindowManagerView_) delegateWindowManagerView_->onReceivedVideoData(datagram, from);
    } else if (delegateClientVideoBackView_) {
        delegateClientVideoBackView_->onReceivedVideoData(datagram, from);
    }
}

void KVRConferenceEventHandler::receivedAudioData(std::span<const uint8_t> datagram, const KVRRelayAddress& from) {
    if (!_initialized) return;
    std::lock_guard lock(relayDelegateMutex_);
    if (isQuilloraSeminarType()) {
        if (delegateWindowManagerView_) delegateWindowManagerView_->onReceivedAudioData(datagram, from);
    } else if (delegateClientVideoBackView_) {
        delegateClientVideoBackView_->onReceivedAudioData(datagram, from);
    }
}

void KVRConferenceEventHandler::receivedTextData(std::span<const uint8_t> datagram, const KVRRelayAddress& from) {
    if (!_initialized) return;
    std::lock_guard lock(relayDelegateMutex_);
    if (textChatView_) textChatView_->onReceivedTextData(datagram, from);
}

void KVRConferenceEventHandler::receivedDocmentData(std::span<const uint8_t> datagram, const KVRRelayAddress&) {
    if (!_initialized) return;
    if (datagram.size() < kRelayHeaderSize + kDocDrawModeOffset + 2) {
        KVRLog("Doc datagram of %zu bytes dropped: too short for a doc packet", datagram.size());
        return;
    }
    std::vector<uint8_t> copy(datagram.begin(), datagram.begin() + std::min(datagram.size(), kDocBufferSize));
    std::weak_ptr<bool> alive = alive_;
    // Posts keep arrival order; the board and the web view are main-thread objects.
    runLoop_->post([this, alive, copy = std::move(copy)] {
        if (auto a = alive.lock(); a && *a) deliverDoc(copy);
    });
}

void KVRConferenceEventHandler::deliverDoc(const std::vector<uint8_t>& datagram) {
    auto doc = std::span<const uint8_t>(datagram).subspan(kRelayHeaderSize);
    KVRByteReader reader(doc);
    reader.seek(kDocDrawModeOffset);
    const auto mode = reader.u16();
    if (mode && *mode == kDrawModeWebScroll) {
        reader.seek(kDocScrollXOffset);
        const auto x = reader.i32();
        const auto y = reader.i32();
        if (!x || !y) {
            KVRLog("Web scroll datagram dropped: point missing");
            return;
        }
        if (delegateWebSahreBackView_) delegateWebSahreBackView_->scrollToByRemote(*x, *y);
        return;
    }
    if (delegateboardContainerView_) delegateboardContainerView_->drawByRemote(doc);
}

// Forwarding ---------------------------------------------------------------------------------------------

void KVRConferenceEventHandler::setDelegateExrenVideoWindow(void* delegate) {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateClientVideoBackView_) delegateClientVideoBackView_->setDelegateExrenVideoWindow(delegate);
}
void KVRConferenceEventHandler::setDelegateEnlargeVideoView(void* delegate) {
    std::lock_guard lock(relayDelegateMutex_);
    if (isQuilloraSeminarType()) {
        if (delegateWindowManagerView_) delegateWindowManagerView_->setDelegateEnlargeVideoView(delegate);
    } else if (delegateClientVideoBackView_) {
        delegateClientVideoBackView_->setDelegateEnlargeVideoView(delegate);
    }
}
void KVRConferenceEventHandler::showUserMenu(const std::string& userID, KVRPoint point) {
    std::lock_guard lock(relayDelegateMutex_);
    if (isQuilloraSeminarType()) {
        if (delegateWindowManagerView_) delegateWindowManagerView_->showQLSeminarVideoMenu(userID, point);
    } else if (delegateClientVideoBackView_) {
        delegateClientVideoBackView_->showUserMenu(userID, point);
    }
}
void KVRConferenceEventHandler::showUserMenuFromExVideo(const std::string& userID, KVRPoint point) {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateClientVideoBackView_) delegateClientVideoBackView_->showUserMenuFromExVideo(userID, point);
}
void KVRConferenceEventHandler::enlargeVideo() {
    if (!isQuilloraSeminarType()) return;
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->enlargeVideo();
}
void KVRConferenceEventHandler::showWindow(int panel, bool show) {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->showWindow(panel, show);
}
void KVRConferenceEventHandler::toggleShowWindow(int panel) {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->toggleShowWindow(panel);
}
bool KVRConferenceEventHandler::isShowWindow(int panel) {
    std::lock_guard lock(relayDelegateMutex_);
    return delegateWindowManagerView_ && delegateWindowManagerView_->isShowWindow(panel);
}
void KVRConferenceEventHandler::toggleFullVideo() {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->toggleFullVideo();
}
void KVRConferenceEventHandler::toggleChatWindow() {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateWindowManagerView_) delegateWindowManagerView_->toggleChatWindow();
}
void KVRConferenceEventHandler::toggleExternVideoWindow() {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateClientVideoBackView_) delegateClientVideoBackView_->toggleExternVideoWindow();
}
void KVRConferenceEventHandler::restartLocalCamera() {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateClientVideoBackView_) delegateClientVideoBackView_->restartLocalCamera();
}
void KVRConferenceEventHandler::showLLStudyInfo(int64_t pageKind) {
    std::lock_guard lock(relayDelegateMutex_);
    if (delegateClientVideoBackView_) delegateClientVideoBackView_->showLLStudyInfo(pageKind);
}
void KVRConferenceEventHandler::pushTalkStatusChanged() {
    if (delegateMainStatusbarView_) delegateMainStatusbarView_->pushTalkStatusChanged();
}
void KVRConferenceEventHandler::addNewWhiteboard() {
    if (delegateboardContainerView_) delegateboardContainerView_->addNewWhiteboard();
}
void KVRConferenceEventHandler::shareCurrentContent() {
    if (delegateboardContainerView_) delegateboardContainerView_->shareCurrentContent();
}
void KVRConferenceEventHandler::clearAllData() {
    if (delegateboardContainerView_) delegateboardContainerView_->clearAllData();
}
void KVRConferenceEventHandler::changedContentZoom() {
    if (delegateboardContainerView_) delegateboardContainerView_->changedZoom();
}
void KVRConferenceEventHandler::changedContentTool() {
    if (delegateboardContainerView_) delegateboardContainerView_->changedContentTool();
}
void KVRConferenceEventHandler::saveContent() {
    if (delegateboardContainerView_) delegateboardContainerView_->saveContent();
}
void KVRConferenceEventHandler::printContent() {
    if (delegateboardContainerView_) delegateboardContainerView_->printContent();
}
void KVRConferenceEventHandler::undoContent() {
    if (delegateboardContainerView_) delegateboardContainerView_->undoContent();
}
void KVRConferenceEventHandler::redoContent() {
    if (delegateboardContainerView_) delegateboardContainerView_->redoContent();
}
void KVRConferenceEventHandler::startOndemandRecord(bool start) {
    if (_screenRecorder) _screenRecorder->startOndemandRecord(start);
}
void KVRConferenceEventHandler::startRecordEx() {
    if (_screenRecorder) _screenRecorder->startRecordEx();
}
void KVRConferenceEventHandler::startRecord() {
    if (_screenRecorder) _screenRecorder->startRecord();
}
void KVRConferenceEventHandler::stopRecord() {
    if (_screenRecorder && _screenRecorder->isRecording()) _screenRecorder->stopRecord();
}
bool KVRConferenceEventHandler::isRecording() { return _screenRecorder && _screenRecorder->isRecording(); }
bool KVRConferenceEventHandler::uploadDocShareFile() {
    return !delegateboardContainerView_ || delegateboardContainerView_->uploadDocShareFile();
}
bool KVRConferenceEventHandler::uploadChatLog() {
    std::lock_guard lock(relayDelegateMutex_);
    return !textChatView_ || textChatView_->uploadChatLog();
}
void KVRConferenceEventHandler::showChangeOwnerView() {
    if (_changeOwnerController) _changeOwnerController->showChangeOwnerView();
}

void KVRConferenceEventHandler::changeVBPosition() {
    std::lock_guard lock(relayDelegateMutex_);
    if (!delegateBoardBackView_ || !delegateWindowManagerView_) return;
    KVRViewRef board = delegateBoardBackView_->getContainerView();
    KVRViewRef video = delegateWindowManagerView_->getSeminarVideoView();
    if (_isVBChangedPostion) {
        _isVBChangedPostion = false;
        delegateBoardBackView_->changeToView(board);
        delegateWindowManagerView_->changeToSeminarVideoView(video);
    } else {
        _isVBChangedPostion = true;
        delegateWindowManagerView_->changeToSeminarVideoView(board);
        delegateBoardBackView_->changeToView(video);
    }
}
