#pragma once
// Fakes for the dispatcher tests: a control transport that records what would be sent, a join handler
// that edits the registry's lists as the server would, and views that record what they were told.
#include <memory>
#include <string>
#include <vector>

#include "KVRConferenceTestSupport.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceDelegates.h"
#include "conference/KVRConferenceMainViewOps.h"
#include "conference/KVRConferenceRoomOps.h"
#include "control/KVRControlPacket.h"

namespace kvrtest {
struct Sent {
    std::string request;  // "conf", "client", "clientEx", "log", "enqReg", "enqAns", "doc", "vod"
    std::string target;
    int64_t cmd = 0;
    std::string data;
};

class FakeControl : public KVRConferenceControl {
public:
    std::vector<Sent> sent;
    bool confInfoResult = true;
    bool setConfInfo(const std::string& confInfo) override {
        sent.push_back({"conf", "", 0, confInfo});
        return confInfoResult;
    }
    bool sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data) override {
        sent.push_back({"client", std::to_string(subRoomNo), cmd, std::string(data.value_or(""))});
        return true;
    }
    bool sendToClientEx(const std::string& userID, int64_t cmd, std::optional<std::string_view> data) override {
        sent.push_back({"clientEx", userID, cmd, std::string(data.value_or(""))});
        return true;
    }
    bool sendQuilloraLog(const std::string& r) override { return rec("log", r); }
    bool sendEnqueteRegister(const std::string& r) override { return rec("enqReg", r); }
    bool sendEnqueteAnswer(const std::string& r) override { return rec("enqAns", r); }
    bool sendQuilloraDocLog(const std::string& r) override { return rec("doc", r); }
    bool sendQuilloraVOD(const std::string& r) override { return rec("vod", r); }
    size_t count(const std::string& request) const {
        size_t n = 0;
        for (auto& s : sent) n += s.request == request;
        return n;
    }

private:
    bool rec(const char* kind, const std::string& record) {
        sent.push_back({kind, "", 0, record});
        return true;
    }
};

// Plays the join handler against the registry's lists: users with a type given in `types` are added.
class FakeRoomOps : public KVRConferenceRoomOps {
public:
    Room& room;
    std::map<std::string, std::string> types;  // user ID -> user type text
    bool refreshResult = true;
    std::string refreshedOwner;  // the owner the server's record names after a refresh
    int refreshes = 0;
    std::vector<std::string> ownerUpdates;
    explicit FakeRoomOps(Room& r) : room(r) {}
    bool remoteEnterRoom(const std::string& userID, int64_t subRoomNo) override {
        if (subRoomNo != room.rooms->getSelectedSubRoomNo()) return false;
        auto it = types.find(userID);
        room.users->addUser(userRecord(userID, it == types.end() ? "0" : it->second));
        return true;
    }
    void remoteExitRoom(const std::string& userID, int64_t) override { room.users->removeAtUser(userID); }
    bool refreshSubRoomInfo(int64_t) override {
        ++refreshes;
        if (refreshResult && !refreshedOwner.empty()) room.rooms->setOwnerID(refreshedOwner);
        return refreshResult;
    }
    bool updateRoomOwner(const std::string& newOwnerID) override {
        ownerUpdates.push_back(newOwnerID);
        refreshedOwner = newOwnerID;
        return true;
    }
};

class FakeMainView : public KVRConferenceMainViewOps {
public:
    int appClose = 0;
    std::vector<std::string> critical, warnings;
    void AppClose() override { ++appClose; }
    void AppCloseEx() override {}
    void criticalError(const std::string& text) override { critical.push_back(text); }
    void waringError(const std::string& text) override { warnings.push_back(text); }
    void startProgressIndicator() override {}
    void stopProgressIndicator() override {}
};

inline KVRControlPacket event(uint16_t command, const std::string& payload, uint16_t sub = 1) {
    return KVRControlPacket{command, sub, std::vector<uint8_t>(payload.begin(), payload.end())};
}
}  // namespace kvrtest
