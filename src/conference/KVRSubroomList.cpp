#include "conference/KVRSubroomList.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceText.h"

using namespace kvr::conf;

size_t KVRSubroomList::setData(std::string_view text) {
    std::vector<std::shared_ptr<KVRSubroomInfo>> parsed;
    for (const auto& piece : kvr::split(untilZero(text), std::string_view(&kRecordSeparator, 1))) {
        if (piece.empty()) continue;
        if (auto d = KVRSubroomInfo::parse(piece)) parsed.push_back(std::make_shared<KVRSubroomInfo>(std::move(*d)));
    }
    std::lock_guard lock(mutex_);
    arrSubroomList_ = std::move(parsed);
    return arrSubroomList_.size();
}

bool KVRSubroomList::setSelectedRoomInfo(std::string_view text) {
    auto d = KVRSubroomInfo::parse(text);
    if (!d) return false;
    d->_selected = true;
    std::lock_guard lock(mutex_);
    arrSubroomList_.push_back(std::make_shared<KVRSubroomInfo>(std::move(*d)));
    return true;
}

bool KVRSubroomList::updateSubRoomInfo(std::string_view text) {
    auto pieces = kvr::split(untilZero(text), std::string_view(&kRecordSeparator, 1));
    if (pieces.empty() || pieces[0].empty()) {
        KVRLog("서버룸 업데이트 오류 - 1");
        return false;
    }
    auto d = KVRSubroomInfo::parse(pieces[0]);
    if (!d) {
        KVRLog("서버룸 업데이트 오류 - 2");
        return false;
    }
    auto known = getSubRoomObject(d->_roomno);
    if (!known) {
        KVRLog("서버룸 업데이트 오류 - 3");
        return false;
    }
    if (!known->setData(pieces[0])) {
        KVRLog("서버룸 업데이트 오류 - 4");
        return false;
    }
    return true;
}

int64_t KVRSubroomList::getSelectedSubRoomNo() const {
    std::lock_guard lock(mutex_);
    for (auto it = arrSubroomList_.rbegin(); it != arrSubroomList_.rend(); ++it)
        if ((*it)->isSelected()) return (*it)->roomno();
    return -1;
}

bool KVRSubroomList::setSelectedSubRoomNo(int64_t roomNo) {
    auto room = getSubRoomObject(roomNo);
    if (!room) return false;
    room->setSelected(true);
    return true;
}

std::shared_ptr<KVRSubroomInfo> KVRSubroomList::getSelectedSubRoomInfo() const {
    std::lock_guard lock(mutex_);
    for (const auto& r : arrSubroomList_)
        if (r->isSelected()) return r;
    return nullptr;
}

std::shared_ptr<KVRSubroomInfo> KVRSubroomList::getSelectedSubRoomObject() const { return getSelectedSubRoomInfo(); }

std::shared_ptr<KVRSubroomInfo> KVRSubroomList::getSubRoomObject(int64_t roomNo) const {
    std::lock_guard lock(mutex_);
    for (const auto& r : arrSubroomList_)
        if (r->roomno() == roomNo) return r;
    return nullptr;
}

std::string KVRSubroomList::getOwnerID() const {
    auto r = getSelectedSubRoomInfo();
    return r ? r->ownerID() : std::string();
}

void KVRSubroomList::setOwnerID(const std::string& ownerID) {
    if (auto r = getSelectedSubRoomInfo()) r->setOwnerID(ownerID);
}

int64_t KVRSubroomList::getMaxUserCount() const {
    auto r = getSelectedSubRoomInfo();
    return r ? r->maxUserCount() : 0;
}

void KVRSubroomList::setMaxUserCount(int64_t count) {
    if (auto r = getSelectedSubRoomInfo()) r->setMaxUserCount(count);
}

int64_t KVRSubroomList::getCurrentUserCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int64_t>(arrSubroomList_.size());
}

bool KVRSubroomList::isOwner() const {
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    auto uid = config ? config->stringValue("UID") : std::nullopt;
    return uid && isOwner(*uid);
}

bool KVRSubroomList::isOwner(const std::string& userID) const {
    auto owner = getOwnerID();
    return !owner.empty() && owner == userID;
}

bool KVRSubroomList::updateUserCount(int64_t roomNo, int64_t offset) {
    auto r = getSubRoomObject(roomNo);
    if (!r) return false;
    r->updateUserCount(offset);
    return true;
}

std::vector<std::shared_ptr<KVRSubroomInfo>> KVRSubroomList::arrSubroomList() const {
    std::lock_guard lock(mutex_);
    return arrSubroomList_;
}

std::string KVRSubroomList::getListText() const {
    std::string out;
    for (const auto& r : arrSubroomList()) {
        out += r->toRecord();
        out += kRecordSeparator;
    }
    return out;
}
