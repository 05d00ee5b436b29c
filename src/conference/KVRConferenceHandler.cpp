#include "conference/KVRConferenceHandler.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"
#include "control/KVRMainServer.h"
#include "platform/KVRAlerts.h"
#include "relay/KVRRelayServer.h"

namespace {

struct Objects {
    std::shared_ptr<KVRConfig> config;
    std::shared_ptr<KVRMainServer> main;
    std::shared_ptr<KVRRelayServer> relay;
    std::shared_ptr<KVRSubroomList> rooms;
    std::shared_ptr<KVRCurrentConferenceInfo> conf;
    std::shared_ptr<KVRConferenceUserList> users;
};

Objects objects() {
    auto* g = KVRGlobalData::sharedGlobalData();
    return {g->kvrcConfig(), g->mainServer(), g->relayServer(), g->subroomList(), g->currentConferenceInfo(),
            g->conferenceUserList()};
}

std::string value(const std::shared_ptr<KVRConfig>& config, const char* key) {
    if (!config) return {};
    return config->stringValue(key).value_or("");
}

int64_t number(const std::shared_ptr<KVRConfig>& config, const char* key) {
    return config ? config->integerValue(key) : 0;
}

// The first 0x02 piece of a reply read as a number; nothing when the reply holds no number at all, so
// that a garbled reply is not taken for room 0.
std::optional<int64_t> firstNumber(const std::string& text) {
    auto pieces = kvr::split(text, std::string_view("\x02", 1));
    std::string first = kvr::trim(pieces.empty() ? std::string() : pieces.front());
    if (first.empty()) return std::nullopt;
    size_t i = first[0] == '-' ? 1 : 0;
    if (i >= first.size() || first[i] < '0' || first[i] > '9') return std::nullopt;
    return kvr::leadingInteger(first);
}

}  // namespace

const char* KVRConferenceHandler::stepName(Step step) {
    switch (step) {
    case Step::None: return "none";
    case Step::Connect: return "connect";
    case Step::ServerTime: return "server-time";
    case Step::Login: return "login";
    case Step::LectureInfo: return "lecture-info";
    case Step::EnterSubRoom: return "enter-sub-room";
    case Step::RelayNat: return "relay-nat";
    case Step::RelayEnter: return "relay-enter";
    case Step::UserList: return "user-list";
    case Step::EnterNotify: return "enter-notify";
    }
    return "?";
}

void KVRConferenceHandler::fail(Step step, const char* messageKey) {
    {
        std::lock_guard lock(mutex_);
        lastFailure_ = step;
    }
    KVRLog("join: step %s failed (%s)", stepName(step), messageKey);
    KVRGlobalData::messageBox(nullptr, messageKey, std::string("IDS_OK"), std::nullopt, std::nullopt,
                              KVRAlerts::Warning);
}

KVRConferenceHandler::Step KVRConferenceHandler::lastFailure() const {
    std::lock_guard lock(mutex_);
    return lastFailure_;
}

void KVRConferenceHandler::setUserListChanged(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    userListChanged_ = std::move(callback);
}

void KVRConferenceHandler::userListChanged() {
    std::function<void()> callback;
    {
        std::lock_guard lock(mutex_);
        callback = userListChanged_;
    }
    if (callback) callback();
}

bool KVRConferenceHandler::isSeminarRoom() const {
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    return config && config->productType() == 2 && config->integerValue("MST") == 9;
}

bool KVRConferenceHandler::connectToMainServer() {
    auto o = objects();
    if (!o.main || !o.main->connectToServer(value(o.config, "SIP"), number(o.config, "MSP"))) {
        fail(Step::Connect, "IDS_FAILED_CONNECT");
        return false;
    }
    return true;
}

bool KVRConferenceHandler::getServerTime() {
    auto o = objects();
    if (!o.main || !o.main->getServerTime()) {
        fail(Step::ServerTime, "IDS_FAILED_CONNECT_2");
        return false;
    }
    return true;
}

bool KVRConferenceHandler::loginWithLeaseAndWaitEx() {
    auto o = objects();
    if (!o.main) return false;
    std::string uid = value(o.config, "UID");
    std::string alias = value(o.config, "ALS");
    if (!o.main->loginWithRegister(uid, uid, alias)) return false;
    // Their failures leave the login standing.
    o.main->updateAlias(alias);
    o.main->updateUserType(o.config ? o.config->getUserType() : 0);
    return true;
}

bool KVRConferenceHandler::registerNetInfo() {
    auto o = objects();
    return o.main && o.main->registerNetInfo(kNatIP, kNatPort, kNatIP, kNatIP, kNatPort);
}

bool KVRConferenceHandler::updateOwnInfo() {
    auto o = objects();
    return o.main && o.main->updateOwnInfo('Y', 'Y', 'Y', kNatIP);
}

bool KVRConferenceHandler::loginWithLeaseAndWait() {
    if (!loginWithLeaseAndWaitEx() || !registerNetInfo() || !updateOwnInfo() || !updateFTPInfo()) {
        fail(Step::Login, "IDS_FAILED_LOGIN");
        return false;
    }
    bool found;
    if (isSeminarRoom()) {
        found = getLectureRoomInfoFromCIK();
    } else {
        KVRLog("getLectureRoomInfoFromOwnerID");
        found = getLectureRoomInfoFromOwnerID();
        if (found) {
            KVRLog("updateSelectedSubRoomInfo");
            found = updateSelectedSubRoomInfo();
        }
    }
    // Without a room there is no state to ask for.
    if (!found) {
        fail(Step::LectureInfo, "IDS_FAILED_GET_LECTURE_INFO");
        return false;
    }
    auto o = objects();
    getConfInfo(o.rooms ? o.rooms->getSelectedSubRoomNo() : -1);
    return true;
}

bool KVRConferenceHandler::getSubRoomInfo(int64_t roomNo) {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    auto reply = o.main->getSubRoomInfo(roomNo);
    if (!reply) return false;
    if (!o.rooms->setSelectedRoomInfo(reply->payloadText())) {
        KVRLog("join: sub-room record of room %lld does not parse", static_cast<long long>(roomNo));
        return false;
    }
    return true;
}

bool KVRConferenceHandler::getLectureRoomInfoFromOwnerID() {
    auto o = objects();
    if (!o.main) return false;
    auto reply = o.main->getLectureRoomInfo(value(o.config, "MID"), kTopRoomNo);
    if (!reply) return false;
    auto roomNo = firstNumber(reply->payloadText());
    if (!roomNo) {
        KVRLog("join: lecture room reply \"%s\" holds no room number", reply->payloadText().c_str());
        return false;
    }
    return getSubRoomInfo(*roomNo);
}

bool KVRConferenceHandler::getLectureRoomInfoFromCIK() {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    auto reply = o.main->getLectureRoomInfo(value(o.config, "CIK"), kTopRoomNo);
    if (!reply) return false;
    auto roomNo = firstNumber(reply->payloadText());
    if (!roomNo) {
        KVRLog("join: lecture room reply \"%s\" holds no room number", reply->payloadText().c_str());
        return false;
    }
    auto record = o.main->getSubRoomInfo(*roomNo);
    if (!record) return false;
    auto data = KVRSubroomInfo::parse(record->payloadText());
    if (!data) {
        KVRLog("join: sub-room record of room %lld does not parse", static_cast<long long>(*roomNo));
        return false;
    }
    if (!updateSelectedSubRoomInfo(data->_roomno, data->_ownerID)) return false;
    return getSubRoomInfo(data->_roomno);
}

bool KVRConferenceHandler::isExistUserInRoom(int64_t roomNo, const std::string& userID) {
    auto o = objects();
    if (!o.main) return false;
    return o.main->isUserInRoom(userID, roomNo).value_or(false);
}

bool KVRConferenceHandler::updateSelectedSubRoomInfo() {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    auto room = o.rooms->getSelectedSubRoomInfo();
    if (!room) return false;
    int64_t roomNo = room->roomno();
    if (isExistUserInRoom(roomNo, room->ownerID())) return true;
    std::string mid = value(o.config, "MID");
    int64_t max = number(o.config, "MAX");
    bool ok = o.main->updateSubRoomEx(kTopRoomNo, roomNo, value(o.config, "RNM"), mid, mid, mid, max);
    KVRLog("update room => ownerid : %s, max user : %d", mid.c_str(), static_cast<int>(max));
    o.rooms->setOwnerID(mid);
    o.rooms->setMaxUserCount(max);
    return ok;
}

bool KVRConferenceHandler::updateSelectedSubRoomInfo(int64_t roomNo, const std::string& ownerID) {
    auto o = objects();
    int64_t type = o.config ? o.config->getUserType() : 0;
    if (type != 100 && type != 103) return true;
    if (!o.main || !o.rooms) return false;
    if (isExistUserInRoom(roomNo, ownerID)) return true;
    std::string uid = value(o.config, "UID");
    int64_t max = number(o.config, "MAX");
    bool ok = o.main->updateSubRoomEx(kTopRoomNo, roomNo, value(o.config, "RNM"), uid, uid, uid, max);
    KVRLog("update room => ownerid : %s, max user : %d", uid.c_str(), static_cast<int>(max));
    o.rooms->setOwnerID(uid);
    o.rooms->setMaxUserCount(max);
    return ok;
}

bool KVRConferenceHandler::getConfInfo(int64_t roomNo) {
    auto o = objects();
    if (!o.main || !o.conf) return true;
    if (auto reply = o.main->getConfInfo(roomNo)) {
        if (!o.conf->setCurrConfInfo(reply->payloadText(), false))
            KVRLog("join: conference state of room %lld does not parse; defaults kept", static_cast<long long>(roomNo));
        return true;
    }
    o.conf->setCurrConfInfo("", false);
    if (o.rooms && o.rooms->isOwner()) o.main->setConfInfo(o.conf->getInfo());
    return true;
}

bool KVRConferenceHandler::getNetUploadServerInfo(const std::string& rtp) {
    auto o = objects();
    return o.main && o.main->getLLEventUploadServer(rtp).has_value();
}

bool KVRConferenceHandler::enterRoomEx() {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    int64_t roomNo = o.rooms->getSelectedSubRoomNo();
    if (!o.main->enterSubRoom(roomNo, value(o.config, "UID"), number(o.config, "UTP"), false, true)) {
        fail(Step::EnterSubRoom, "IDS_ERR_ROOM_FULL");
        return false;
    }
    if (!o.relay || !o.relay->getNATInfo()) {
        fail(Step::RelayNat, "IDS_ERR_PROXY_JOIN");
        return false;
    }
    if (!o.relay->enterRoom(roomNo)) {
        fail(Step::RelayEnter, "IDS_FAILED_ENTER_ROOM");
        return false;
    }
    return true;
}

bool KVRConferenceHandler::getUserListAll() {
    auto o = objects();
    if (!o.main || !o.rooms || !o.users) return false;
    auto reply = o.main->getSubRoomUserListAll(o.rooms->getSelectedSubRoomNo(), 0, kUserListCount);
    if (!reply || o.users->setData(reply->payloadText()) == 0) {
        fail(Step::UserList, "IDS_FAILED_GET_USERLIST");
        return false;
    }
    userListChanged();
    return true;
}

bool KVRConferenceHandler::enterRoom() { return enterRoomEx() && getUserListAll(); }

bool KVRConferenceHandler::enterRoomNotify() {
    auto o = objects();
    if (!o.main || !o.rooms || !o.main->enterSubRoomNotify(o.rooms->getSelectedSubRoomNo())) {
        fail(Step::EnterNotify, "IDS_FAILED_ENTER_ROOM");
        return false;
    }
    return true;
}

void KVRConferenceHandler::exitRoom() {
    auto o = objects();
    if (o.main && o.rooms) o.main->exitSubRoom(o.rooms->getSelectedSubRoomNo(), value(o.config, "UID"));
    if (o.relay) o.relay->exitRoom();
}

bool KVRConferenceHandler::remoteEnterRoom(const std::string& userID, int64_t subRoomNo) {
    auto o = objects();
    if (!o.main || !o.rooms || !o.users || subRoomNo != o.rooms->getSelectedSubRoomNo()) return false;
    auto reply = o.main->getUserInfoWithNATInfo(userID);
    if (!reply) return false;
    if (!o.users->addUser(reply->payloadText()))
        KVRLog("join: record of entering user %s not added", userID.c_str());
    userListChanged();
    return true;
}

void KVRConferenceHandler::remoteExitRoom(const std::string& userID, int64_t) {
    auto o = objects();
    if (o.users && o.users->removeAtUser(userID)) userListChanged();
}

bool KVRConferenceHandler::refreshSubRoomInfo(int64_t subRoomNo) {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    auto reply = o.main->getSubRoomInfo(subRoomNo);
    return reply && o.rooms->updateSubRoomInfo(reply->payloadText());
}

bool KVRConferenceHandler::updateRoomOwner(int64_t subRoomNo, const std::string&, const std::string& newOwner) {
    auto o = objects();
    if (!o.main || !o.rooms) return false;
    auto room = o.rooms->getSubRoomObject(subRoomNo);
    if (!room) room = o.rooms->getSelectedSubRoomInfo();
    if (!room) return false;
    return o.main->updateSubRoomEx(kTopRoomNo, subRoomNo, room->name(), newOwner, newOwner, newOwner,
                                   room->maxUserCount());
}

bool KVRConferenceHandler::updateRoomOwner(const std::string& newOwnerID) {
    auto o = objects();
    if (!o.rooms) return false;
    auto room = o.rooms->getSelectedSubRoomInfo();
    if (!room) return false;
    return updateRoomOwner(room->roomno(), room->ownerID(), newOwnerID);
}
