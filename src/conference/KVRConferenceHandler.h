#pragma once
// The join handler: each step of entering a lecture room against the main server and the relay, and
// the state model it fills. Every step runs on the main thread and blocks it for at most the request
// wait of its transport. Failures show their message here; the main view decides what follows.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "conference/KVRConferenceRoomOps.h"

class KVRConfig;
class KVRMainServer;
class KVRRelayServer;
class KVRSubroomList;
class KVRCurrentConferenceInfo;
class KVRConferenceUserList;

class KVRConferenceHandler : public KVRConferenceRoomOps {
public:
    static constexpr int64_t kTopRoomNo = 999;
    static constexpr const char* kNatIP = "127.0.0.1";
    static constexpr int kNatPort = 7081;
    static constexpr int64_t kUserListCount = 150;

    // Which step failed last; the bot reports it and tests assert it.
    enum class Step {
        None,
        Connect,
        ServerTime,
        Login,
        LectureInfo,
        EnterSubRoom,
        RelayNat,
        RelayEnter,
        UserList,
        EnterNotify,
    };
    static const char* stepName(Step step);

    // Every object is reached through the registry when the step runs, so the handler may be made
    // before or after the others.
    KVRConferenceHandler() = default;

    bool connectToMainServer();
    bool getServerTime();
    bool loginWithLeaseAndWait();
    bool loginWithLeaseAndWaitEx();
    bool registerNetInfo();
    bool updateOwnInfo();
    bool updateFTPInfo() { return true; }
    bool getLectureRoomInfoFromOwnerID();
    bool getLectureRoomInfoFromCIK();
    bool updateSelectedSubRoomInfo();
    bool updateSelectedSubRoomInfo(int64_t roomNo, const std::string& ownerID);
    bool isExistUserInRoom(int64_t roomNo, const std::string& userID);
    bool getSubRoomInfo(int64_t roomNo);
    bool getConfInfo(int64_t roomNo);
    bool getNetUploadServerInfo(const std::string& rtp);
    bool enterRoom();
    bool enterRoomEx();
    bool getUserListAll();
    bool enterRoomNotify();
    void exitRoom();

    // Called by the dispatcher as users come and go and the room record changes.
    bool remoteEnterRoom(const std::string& userID, int64_t subRoomNo) override;
    void remoteExitRoom(const std::string& userID, int64_t subRoomNo) override;
    bool refreshSubRoomInfo(int64_t subRoomNo) override;
    bool updateRoomOwner(int64_t subRoomNo, const std::string& oldOwner, const std::string& newOwner);
    // The selected sub-room's owner becomes newOwnerID.
    bool updateRoomOwner(const std::string& newOwnerID) override;

    // Told on the main thread whenever the user list was replaced or changed.
    void setUserListChanged(std::function<void()> callback);

    Step lastFailure() const;
    bool isSeminarRoom() const;

private:
    void fail(Step step, const char* messageKey);
    void userListChanged();

    mutable std::mutex mutex_;
    Step lastFailure_ = Step::None;
    std::function<void()> userListChanged_;
};
