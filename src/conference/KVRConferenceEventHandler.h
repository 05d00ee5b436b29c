#pragma once
// The conference event dispatcher: queues the events the main server pushes and handles them one per
// tick on the main thread, fans state changes out to the views of the room, and passes relay media to
// the views that consume them.
//
// Threads: serverAlarmPacket runs on the control socket thread and only queues; the relay entry points
// run on the relay receive thread; everything else runs on the main thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "conference/KVRConferenceDelegates.h"
#include "control/KVRControlPacket.h"
#include "control/KVRServerAlarmSink.h"
#include "platform/KVRRunLoop.h"
#include "relay/KVRRelayDataSink.h"

class KVRConferenceControl;
class KVRConferenceMainViewOps;
class KVRConferenceRoomOps;
class KVRLogoutInfo;
class KVRLogoutWindowDelegate;
class KVRQuilloraLog;

struct KVRConferenceEventTiming {
    std::chrono::milliseconds tick{100};           // one queued event per tick
    std::chrono::milliseconds ownerFollowUp{500};  // owner changed / owner left follow-ups
};

class KVRConferenceEventHandler : public KVRServerAlarmSink, public KVRRelayDataSink {
public:
    using Timing = KVRConferenceEventTiming;

    static constexpr size_t kPacketBufferSize = 38408;
    static constexpr size_t kDocBufferSize = 38436;
    static constexpr size_t kRelayHeaderSize = 34;

    // Without a control transport the registry's control client is used.
    explicit KVRConferenceEventHandler(std::shared_ptr<KVRRunLoop> runLoop,
                                       std::shared_ptr<KVRConferenceControl> control = nullptr,
                                       Timing timing = {});
    ~KVRConferenceEventHandler() override;
    KVRConferenceEventHandler(const KVRConferenceEventHandler&) = delete;
    KVRConferenceEventHandler& operator=(const KVRConferenceEventHandler&) = delete;

    // Registration. Pointers are not owned; a view unregisters with nullptr before it goes away.
    void setDelegateMainView(KVRConferenceMainViewOps* view) { delegateMainView_ = view; }
    void setConferenceRoomOps(KVRConferenceRoomOps* ops) { roomOps_ = ops; }
    void setDelegateLearningMainView(KVRRoomViewDelegate* view) { delegateLearningMainView_ = view; }
    void setDelegateToolbarMain(KVRToolbarMainDelegate* view) { delegateToolbarMain_ = view; }
    void setDelegateMainStatusbarView(KVRMainStatusbarDelegate* view) { delegateMainStatusbarView_ = view; }
    void setDelegateClientVideoBackView(KVRVideoWallDelegate* view);
    void setDelegateWindowManagerView(KVRWindowManagerDelegate* view);
    void setDelegateChatView(KVRChatViewDelegate* view);
    void setDelegateWebSahreBackView(KVRWebShareViewDelegate* view) { delegateWebSahreBackView_ = view; }
    void setDelegateBoardBackView(KVRBoardBackViewDelegate* view) { delegateBoardBackView_ = view; }
    void setDelegateBoardContainerView(KVRBoardContainerDelegate* view) { delegateboardContainerView_ = view; }
    void setDelegateDocumentToolbarView(KVRDocumentToolbarDelegate* view) { delegateDocumentToolbarView_ = view; }
    void setDelegateEnqueteView(KVREnqueteViewDelegate* view) { delegateEnqueteView_ = view; }
    void setDelegateEnqueteAckView(KVREnqueteViewDelegate* view) { delegateEnqueteAckView_ = view; }
    void setNoticeMessageViewManager(KVRNoticeMessageDelegate* manager) { _noticeMessageViewManager = manager; }
    void setScreenRecorder(KVRScreenRecorderDelegate* recorder) { _screenRecorder = recorder; }
    void setChangeOwnerPresenter(KVRChangeOwnerPresenter* presenter) { _changeOwnerController = presenter; }
    void setDeviceInfoMaker(KVRDeviceInfoMakerDelegate* maker) { deviceInfoMaker_ = maker; }
    // The owner-absent window; without one the count-down still runs and still closes the program.
    void setLogoutWindow(KVRLogoutWindowDelegate* window);

    // Life cycle.
    bool startConference();
    void stopConference();
    bool isStarted() const { return _initialized.load(); }

    // KVRServerAlarmSink.
    void serverAlarmPacket(const KVRControlPacket& packet) override;
    void criticalError(const std::string& text) override;
    void waringError(const std::string& text);
    void appClose();
    void appCloseEx();
    void startProgressIndicator();
    void stopProgressIndicator();

    // Timer body: handles the oldest queued event, if any.
    void serverPacketProcessor();
    size_t queuedEventCount() const;

    // Event handlers; each takes the payload as zero-terminated text.
    void userEnterRoom(std::string_view payload);
    void userExitRoom(std::string_view payload);
    void userLoggedInOtherSide(std::string_view payload);
    void changedCurrentConferenceInfo(std::string_view payload);
    void receivedDocumentDataFromMainServer(std::string_view payload);
    void kickoutByOwner(std::string_view payload);
    void receivedClientData(std::string_view payload);
    void lleventAlarm(uint16_t subCommand, std::string_view data, size_t size);
    void documentChanged(int64_t kind, const std::string& title, const std::string& pageName,
                         const std::string& fileName);

    // Owner and administrator follow-ups.
    void changedOwnerByRemote();
    void changedOwnerByRemoteTimer();
    void changedAdminByRemote();
    void loggedOutRoomOwner();
    void loggedOutRoomOwnerTimer();
    void showLogoutInfo();
    void hideLogoutInfo();
    void allocVideoOwner();
    KVRLogoutInfo* logoutInfo() const { return _logoutViewController.get(); }

    // Fan-out of state changes.
    void changedConferenceMode();
    void changedScreenType();
    void changedAdmin();
    void changedChatPermission();
    void changedAudioPermission();
    void changedDrawingPermission();
    void enlargeVideo(const std::optional<std::string>& userID, const std::optional<std::string>& alias);
    bool isRunningEnlargeVideo(const std::string& userID);

    // Publishing the conference state.
    bool sendConfInfo();
    bool isQuilloraSeminarType() const;

    // Client commands and permissions.
    bool sendDeviceInfo(const std::string& userID);
    bool requestAudioPermission();
    bool requestDocWritePermission();
    bool toggleMicPermission(const std::string& userID);
    bool toggleDrawingPermission(const std::string& userID);
    bool setConferenceMode(int64_t mode);
    bool setScreenType(int64_t type);

    // KVRRelayDataSink (relay receive thread).
    void receivedAudioData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) override;
    void receivedVideoData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) override;
    void receivedDocmentData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) override;
    void receivedTextData(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress) override;

    // Forwarding operations.
    void setDelegateExrenVideoWindow(void* delegate);
    void setDelegateEnlargeVideoView(void* delegate);
    void showUserMenu(const std::string& userID, KVRPoint point);
    void showUserMenuFromExVideo(const std::string& userID, KVRPoint point);
    void enlargeVideo();
    void showWindow(int panel, bool show);
    void toggleShowWindow(int panel);
    bool isShowWindow(int panel);
    void toggleFullVideo();
    void toggleChatWindow();
    void toggleExternVideoWindow();
    void restartLocalCamera();
    void showLLStudyInfo(int64_t pageKind);
    void pushTalkStatusChanged();
    void addNewWhiteboard();
    void shareCurrentContent();
    void clearAllData();
    void changedContentZoom();
    void changedContentTool();
    void saveContent();
    void printContent();
    void undoContent();
    void redoContent();
    void startOndemandRecord(bool start);
    void startRecordEx();
    void startRecord();
    void stopRecord();
    bool isRecording();
    bool uploadDocShareFile();
    bool uploadChatLog();
    void showChangeOwnerView();
    void changeVBPosition();
    bool isVBChangedPostion() const { return _isVBChangedPostion; }

private:
    void handlePacket(const KVRControlPacket& packet);
    void deliverDoc(const std::vector<uint8_t>& datagram);
    void notice(int type);
    void notice(int type, const std::string& userID);
    void refreshChangeOwner();
    // The sub-room owner, its administrator, or a listed lecturer (types 100, 103).
    bool isTrustedSender(const std::string& userID) const;
    KVRConferenceRoomOps* roomOps() const;
    KVRQuilloraLog* quilloraLog();
    // Schedules `body` once after `delay`; nothing runs once the dispatcher is gone.
    void after(std::chrono::milliseconds delay, void (KVRConferenceEventHandler::*body)());

    std::shared_ptr<KVRRunLoop> runLoop_;
    std::shared_ptr<KVRConferenceControl> control_;
    Timing timing_;

    KVRConferenceMainViewOps* delegateMainView_ = nullptr;
    KVRConferenceRoomOps* roomOps_ = nullptr;
    KVRRoomViewDelegate* delegateLearningMainView_ = nullptr;
    KVRToolbarMainDelegate* delegateToolbarMain_ = nullptr;
    KVRMainStatusbarDelegate* delegateMainStatusbarView_ = nullptr;
    KVRWebShareViewDelegate* delegateWebSahreBackView_ = nullptr;
    KVRBoardBackViewDelegate* delegateBoardBackView_ = nullptr;
    KVRBoardContainerDelegate* delegateboardContainerView_ = nullptr;
    KVRDocumentToolbarDelegate* delegateDocumentToolbarView_ = nullptr;
    KVREnqueteViewDelegate* delegateEnqueteView_ = nullptr;
    KVREnqueteViewDelegate* delegateEnqueteAckView_ = nullptr;
    KVRNoticeMessageDelegate* _noticeMessageViewManager = nullptr;
    KVRScreenRecorderDelegate* _screenRecorder = nullptr;
    KVRChangeOwnerPresenter* _changeOwnerController = nullptr;
    KVRDeviceInfoMakerDelegate* deviceInfoMaker_ = nullptr;
    std::unique_ptr<KVRQuilloraLog> ownQuilloraLog_;
    KVRLogoutWindowDelegate* logoutWindow_ = nullptr;

    // Read on the relay thread: guarded.
    mutable std::mutex relayDelegateMutex_;
    KVRVideoWallDelegate* delegateClientVideoBackView_ = nullptr;
    KVRWindowManagerDelegate* delegateWindowManagerView_ = nullptr;
    KVRChatViewDelegate* textChatView_ = nullptr;

    mutable std::mutex queueMutex_;
    std::deque<KVRControlPacket> _arrServerPacket;
    std::atomic<bool> _initialized{false};
    std::optional<KVRRunLoop::TimerId> tickTimer_;
    // A handler that spins a nested loop (modal alert) must not see the tick again.
    bool processing_ = false;

    std::unique_ptr<KVRLogoutInfo> _logoutViewController;
    bool _isVBChangedPostion = false;
    std::shared_ptr<bool> alive_;
    std::mutex docMutex_;
    std::deque<std::vector<uint8_t>> docQueue_;
};
