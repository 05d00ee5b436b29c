#include "conference/KVRConferenceEventHandler.h"

#include "app/KVRLog.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceMainViewOps.h"
#include "conference/KVRConferenceRoomOps.h"
#include "conference/KVRLogoutInfo.h"

KVRConferenceEventHandler::KVRConferenceEventHandler(std::shared_ptr<KVRRunLoop> runLoop,
                                                     std::shared_ptr<KVRConferenceControl> control, Timing timing)
    : runLoop_(std::move(runLoop)), control_(std::move(control)), timing_(timing),
      packetBuffer_(kPacketBufferSize, 0), alive_(std::make_shared<bool>(true)) {
    if (!control_) control_ = std::make_shared<KVRMainServerControl>();
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
    if (_logoutViewController) _logoutViewController->setWindow(window);
}

bool KVRConferenceEventHandler::startConference() {
    if (_initialized.exchange(true)) return true;
    tickTimer_ = runLoop_->startTimer(timing_.tick, true, [this] { serverPacketProcessor(); });
    return true;
}

void KVRConferenceEventHandler::stopConference() {}

void KVRConferenceEventHandler::serverAlarmPacket(const KVRControlPacket& packet) {
    (void)packet;
}

size_t KVRConferenceEventHandler::queuedEventCount() const {
    std::lock_guard lock(queueMutex_);
    return _arrServerPacket.size();
}

void KVRConferenceEventHandler::serverPacketProcessor() {}

void KVRConferenceEventHandler::criticalError(const std::string& text) {
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
void KVRConferenceEventHandler::startProgressIndicator() {}
void KVRConferenceEventHandler::stopProgressIndicator() {}
void KVRConferenceEventHandler::userEnterRoom(std::string_view) {}
void KVRConferenceEventHandler::userExitRoom(std::string_view) {}
void KVRConferenceEventHandler::userLoggedInOtherSide(std::string_view) {}
void KVRConferenceEventHandler::changedCurrentConferenceInfo(std::string_view) {}
void KVRConferenceEventHandler::receivedDocumentDataFromMainServer(std::string_view) {}
void KVRConferenceEventHandler::kickoutByOwner(std::string_view) {}
void KVRConferenceEventHandler::receivedClientData(std::string_view) {}
void KVRConferenceEventHandler::lleventAlarm(uint16_t, std::string_view, size_t) {}
void KVRConferenceEventHandler::documentChanged(int64_t, const std::string&, const std::string&, const std::string&) {}
void KVRConferenceEventHandler::changedOwnerByRemote() {}
void KVRConferenceEventHandler::changedOwnerByRemoteTimer() {}
void KVRConferenceEventHandler::changedAdminByRemote() {}
void KVRConferenceEventHandler::loggedOutRoomOwner() {}
void KVRConferenceEventHandler::loggedOutRoomOwnerTimer() {}
void KVRConferenceEventHandler::showLogoutInfo() {}
void KVRConferenceEventHandler::hideLogoutInfo() {}
void KVRConferenceEventHandler::allocVideoOwner() {}
void KVRConferenceEventHandler::changedConferenceMode() {}
void KVRConferenceEventHandler::changedScreenType() {}
void KVRConferenceEventHandler::changedAdmin() {}
void KVRConferenceEventHandler::changedChatPermission() {}
void KVRConferenceEventHandler::changedAudioPermission() {}
void KVRConferenceEventHandler::changedDrawingPermission() {}
void KVRConferenceEventHandler::enlargeVideo(const std::optional<std::string>&, const std::optional<std::string>&) {}
bool KVRConferenceEventHandler::isRunningEnlargeVideo(const std::string&) { return false; }
bool KVRConferenceEventHandler::sendConfInfo() { return false; }
bool KVRConferenceEventHandler::isQuilloraSeminarType() const { return false; }
bool KVRConferenceEventHandler::sendDeviceInfo(const std::string&) { return false; }
bool KVRConferenceEventHandler::requestAudioPermission() { return false; }
bool KVRConferenceEventHandler::requestDocWritePermission() { return false; }
bool KVRConferenceEventHandler::toggleMicPermission(const std::string&) { return false; }
bool KVRConferenceEventHandler::toggleDrawingPermission(const std::string&) { return false; }
bool KVRConferenceEventHandler::setConferenceMode(int64_t) { return false; }
bool KVRConferenceEventHandler::setScreenType(int64_t) { return false; }
void KVRConferenceEventHandler::receivedAudioData(std::span<const uint8_t>, const KVRRelayAddress&) {}
void KVRConferenceEventHandler::receivedVideoData(std::span<const uint8_t>, const KVRRelayAddress&) {}
void KVRConferenceEventHandler::receivedDocmentData(std::span<const uint8_t>, const KVRRelayAddress&) {}
void KVRConferenceEventHandler::receivedTextData(std::span<const uint8_t>, const KVRRelayAddress&) {}
void KVRConferenceEventHandler::setDelegateExrenVideoWindow(void*) {}
void KVRConferenceEventHandler::setDelegateEnlargeVideoView(void*) {}
void KVRConferenceEventHandler::showUserMenu(const std::string&, KVRPoint) {}
void KVRConferenceEventHandler::showUserMenuFromExVideo(const std::string&, KVRPoint) {}
void KVRConferenceEventHandler::enlargeVideo() {}
void KVRConferenceEventHandler::showWindow(int, bool) {}
void KVRConferenceEventHandler::toggleShowWindow(int) {}
bool KVRConferenceEventHandler::isShowWindow(int) { return false; }
void KVRConferenceEventHandler::toggleFullVideo() {}
void KVRConferenceEventHandler::toggleChatWindow() {}
void KVRConferenceEventHandler::toggleExternVideoWindow() {}
void KVRConferenceEventHandler::restartLocalCamera() {}
void KVRConferenceEventHandler::showLLStudyInfo(int64_t) {}
void KVRConferenceEventHandler::pushTalkStatusChanged() {}
void KVRConferenceEventHandler::addNewWhiteboard() {}
void KVRConferenceEventHandler::shareCurrentContent() {}
void KVRConferenceEventHandler::clearAllData() {}
void KVRConferenceEventHandler::changedContentZoom() {}
void KVRConferenceEventHandler::changedContentTool() {}
void KVRConferenceEventHandler::saveContent() {}
void KVRConferenceEventHandler::printContent() {}
void KVRConferenceEventHandler::undoContent() {}
void KVRConferenceEventHandler::redoContent() {}
void KVRConferenceEventHandler::startOndemandRecord(bool) {}
void KVRConferenceEventHandler::startRecordEx() {}
void KVRConferenceEventHandler::startRecord() {}
void KVRConferenceEventHandler::stopRecord() {}
bool KVRConferenceEventHandler::isRecording() { return false; }
bool KVRConferenceEventHandler::uploadDocShareFile() { return true; }
bool KVRConferenceEventHandler::uploadChatLog() { return true; }
void KVRConferenceEventHandler::showChangeOwnerView() {}
void KVRConferenceEventHandler::changeVBPosition() {}
void KVRConferenceEventHandler::handlePacket(const std::vector<uint8_t>&) {}
void KVRConferenceEventHandler::deliverDoc(const std::vector<uint8_t>&) {}
void KVRConferenceEventHandler::notice(int) {}
void KVRConferenceEventHandler::refreshChangeOwner() {}
