#pragma once
// The views of the room as the dispatcher sees them. Each view implements its role and registers with
// the dispatcher; every operation has an empty default so that a view implements only what it shows,
// and an unregistered view is simply a null pointer the dispatcher skips.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "relay/KVRRelayDataSink.h"

struct KVRPoint {
    double x = 0;
    double y = 0;
};

// An opaque view handle passed between views when the board and the seminar video swap places.
using KVRViewRef = void*;

class KVRRoomViewDelegate {
public:
    virtual ~KVRRoomViewDelegate() = default;
    virtual void addUser(const std::string& /*userID*/) {}
    virtual void removeAtUser(const std::string& /*userID*/) {}
    // Nothing ends the enlargement.
    virtual void enlargeVideo(const std::optional<std::string>& /*userID*/, const std::optional<std::string>& /*alias*/) {}
    virtual bool isRunningEnlargeVideo(const std::string& /*userID*/) { return false; }
    virtual void changedConferenceMode() {}
    virtual void changedScreenType() {}
};

class KVRWindowManagerDelegate {
public:
    virtual ~KVRWindowManagerDelegate() = default;
    virtual void allocVideoOwner() {}
    virtual void refreshUserList() {}
    virtual void changedChatPermission() {}
    virtual void changedAudioPermission() {}
    virtual void changedDrawingPermission() {}
    virtual void showQLSeminarVideoMenu(const std::string& /*userID*/, KVRPoint /*point*/) {}
    virtual void setDelegateEnlargeVideoView(void* /*delegate*/) {}
    virtual void enlargeVideo() {}
    virtual void showWindow(int /*panel*/, bool /*show*/) {}
    virtual void toggleShowWindow(int /*panel*/) {}
    virtual bool isShowWindow(int /*panel*/) { return false; }
    virtual void toggleFullVideo() {}
    virtual void toggleChatWindow() {}
    virtual void refreshShareFileList() {}
    virtual void changeToSeminarVideoView(KVRViewRef /*view*/) {}
    virtual KVRViewRef getSeminarVideoView() { return nullptr; }
    // Relay thread.
    virtual void onReceivedVideoData(std::span<const uint8_t> /*datagram*/, const KVRRelayAddress& /*from*/) {}
    virtual void onReceivedAudioData(std::span<const uint8_t> /*datagram*/, const KVRRelayAddress& /*from*/) {}
};

class KVRVideoWallDelegate {
public:
    virtual ~KVRVideoWallDelegate() = default;
    virtual void setDelegateExrenVideoWindow(void* /*delegate*/) {}
    virtual void setDelegateEnlargeVideoView(void* /*delegate*/) {}
    virtual void showUserMenu(const std::string& /*userID*/, KVRPoint /*point*/) {}
    virtual void showUserMenuFromExVideo(const std::string& /*userID*/, KVRPoint /*point*/) {}
    virtual void toggleExternVideoWindow() {}
    virtual void restartLocalCamera() {}
    virtual void showLLStudyInfo(int64_t /*pageKind*/) {}
    virtual void changedAdmin() {}
    virtual void receivedDeviceInfo(const std::string& /*senderID*/, const std::string& /*data*/) {}
    virtual void receivedDeviceChangeInfo(const std::string& /*senderID*/, const std::string& /*data*/) {}
    // Relay thread.
    virtual void onReceivedVideoData(std::span<const uint8_t> /*datagram*/, const KVRRelayAddress& /*from*/) {}
    virtual void onReceivedAudioData(std::span<const uint8_t> /*datagram*/, const KVRRelayAddress& /*from*/) {}
};

class KVRToolbarMainDelegate {
public:
    virtual ~KVRToolbarMainDelegate() = default;
    virtual void changedConferenceMode() {}
    virtual void setControlStatus() {}
};

class KVRMainStatusbarDelegate {
public:
    virtual ~KVRMainStatusbarDelegate() = default;
    virtual void pushTalkStatusChanged() {}
};

class KVRChatViewDelegate {
public:
    virtual ~KVRChatViewDelegate() = default;
    // Relay thread.
    virtual void onReceivedTextData(std::span<const uint8_t> /*datagram*/, const KVRRelayAddress& /*from*/) {}
    // A step of the leave sequence; false when the upload failed.
    virtual bool uploadChatLog() { return true; }
};

class KVRWebShareViewDelegate {
public:
    virtual ~KVRWebShareViewDelegate() = default;
    virtual void goURL(const std::string& /*url*/) {}
    virtual void changedPermission() {}
    virtual void scrollToByRemote(int32_t /*x*/, int32_t /*y*/) {}
};

class KVRBoardBackViewDelegate {
public:
    virtual ~KVRBoardBackViewDelegate() = default;
    virtual void changedAdmin() {}
    virtual void setZoomButton() {}
    virtual void changeToView(KVRViewRef /*view*/) {}
    virtual KVRViewRef getContainerView() { return nullptr; }
};

class KVRBoardContainerDelegate {
public:
    virtual ~KVRBoardContainerDelegate() = default;
    // Main thread; the doc packet without the relay header.
    virtual void drawByRemote(std::span<const uint8_t> /*docPacket*/) {}
    virtual void documentChanged(int64_t /*kind*/, const std::string& /*title*/, const std::string& /*pageName*/,
                                 const std::string& /*fileName*/) {}
    virtual void setZoomIndex(int64_t /*index*/) {}
    virtual void changedZoom() {}
    virtual void addNewWhiteboard() {}
    virtual void shareCurrentContent() {}
    virtual void clearAllData() {}
    virtual void changedContentTool() {}
    virtual void saveContent() {}
    virtual void printContent() {}
    virtual void undoContent() {}
    virtual void redoContent() {}
    // A step of the leave sequence; false when the upload failed.
    virtual bool uploadDocShareFile() { return true; }
};

class KVRDocumentToolbarDelegate {
public:
    virtual ~KVRDocumentToolbarDelegate() = default;
    virtual void changedPermission() {}
};

class KVREnqueteViewDelegate {
public:
    virtual ~KVREnqueteViewDelegate() = default;
    virtual void changedEnquete() {}
    virtual void alarmQuilloraData(int64_t /*request*/, int64_t /*result*/, const std::string& /*data*/) {}
};

class KVRNoticeMessageDelegate {
public:
    virtual ~KVRNoticeMessageDelegate() = default;
    virtual void normalMessage(int /*type*/, const std::string& /*userID*/) {}
    virtual void receivedMessage(const std::string& /*senderID*/, const std::string& /*message*/) {}
};

// The device information maker: what this client reports of its devices and how it obeys a change.
class KVRDeviceInfoMakerDelegate {
public:
    virtual ~KVRDeviceInfoMakerDelegate() = default;
    virtual std::string getDeviceInfo() { return {}; }
    virtual void setChangeDeviceInfo(const std::string& /*senderID*/, const std::string& /*data*/) {}
};

class KVRScreenRecorderDelegate {
public:
    virtual ~KVRScreenRecorderDelegate() = default;
    virtual bool isRecording() { return false; }
    virtual void stopRecord() {}
    virtual void startRecord() {}
    virtual void startRecordEx() {}
    virtual void startOndemandRecord(bool /*start*/) {}
};

// The owner change dialog as the dispatcher sees it: made on first use by the ui.
class KVRChangeOwnerPresenter {
public:
    virtual ~KVRChangeOwnerPresenter() = default;
    // Makes the dialog when missing, brings it to the front and refreshes it.
    virtual void showChangeOwnerView() {}
    // Refreshes the dialog when it exists.
    virtual void refresh() {}
};
