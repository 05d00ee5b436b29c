#include "conference/KVRConferenceUserList.h"

#include "app/KVRGlobalData.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceText.h"
#include "conference/KVRSubroomList.h"

using namespace kvr::conf;

size_t KVRConferenceUserList::setData(std::string_view text) {
    // Built aside and swapped in whole, so a reader on another thread never sees a half-filled list.
    std::vector<std::shared_ptr<KVRConferenceUserInfo>> parsed;
    for (const auto& piece : kvr::split(untilZero(text), std::string_view(&kRecordSeparator, 1))) {
        if (piece.empty()) continue;
        auto d = KVRConferenceUserInfo::parse(piece);
        if (!d) continue;
        bool known = false;
        for (const auto& u : parsed) known = known || u->userID() == d->_userID;
        if (!known) parsed.push_back(std::make_shared<KVRConferenceUserInfo>(std::move(*d)));
    }
    std::lock_guard lock(mutex_);
    arrUserList_ = std::move(parsed);
    return arrUserList_.size();
}

bool KVRConferenceUserList::addUser(std::string_view zeroTerminated) { return addUserEx(untilZero(zeroTerminated)); }

bool KVRConferenceUserList::addUserEx(std::string_view text) {
    auto d = KVRConferenceUserInfo::parse(text);
    return d && addParsed(std::move(*d));
}

bool KVRConferenceUserList::addParsed(KVRConferenceUserInfo::Data data) {
    std::lock_guard lock(mutex_);
    for (const auto& u : arrUserList_)
        if (u->userID() == data._userID) return false;
    arrUserList_.push_back(std::make_shared<KVRConferenceUserInfo>(std::move(data)));
    return true;
}

bool KVRConferenceUserList::removeAtUser(const std::string& userID) {
    std::lock_guard lock(mutex_);
    for (auto it = arrUserList_.begin(); it != arrUserList_.end(); ++it) {
        if ((*it)->userID() == userID) {
            arrUserList_.erase(it);
            return true;
        }
    }
    return false;
}

size_t KVRConferenceUserList::count() const {
    std::lock_guard lock(mutex_);
    return arrUserList_.size();
}

std::shared_ptr<KVRConferenceUserInfo> KVRConferenceUserList::getAt(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < arrUserList_.size() ? arrUserList_[index] : nullptr;
}

std::shared_ptr<KVRConferenceUserInfo> KVRConferenceUserList::getAtByID(const std::string& userID) const {
    std::lock_guard lock(mutex_);
    for (const auto& u : arrUserList_)
        if (u->userID() == userID) return u;
    return nullptr;
}

std::shared_ptr<KVRConferenceUserInfo> KVRConferenceUserList::getObject(const std::string& userID) const {
    return getAtByID(userID);
}

std::optional<std::string> KVRConferenceUserList::getAlias(const std::string& userID) const {
    auto u = getAtByID(userID);
    if (!u) return std::nullopt;
    return u->alias();
}

bool KVRConferenceUserList::isExist(const std::string& userID) const { return getAtByID(userID) != nullptr; }

bool KVRConferenceUserList::isExistOwner() const {
    auto rooms = KVRGlobalData::sharedGlobalData()->subroomList();
    if (!rooms) return false;
    auto owner = rooms->getOwnerID();
    return !owner.empty() && isExist(owner);
}

int64_t KVRConferenceUserList::getUserType(const std::string& userID) const {
    auto u = getAtByID(userID);
    return u ? u->userType() : -1;
}

std::shared_ptr<KVRConferenceUserInfo> KVRConferenceUserList::getSeminarVideoCtrlUserInfo() const {
    std::lock_guard lock(mutex_);
    for (const auto& u : arrUserList_) {
        auto type = u->userType();
        if (type == 100 || type == 103) return u;
    }
    return nullptr;
}

std::vector<std::shared_ptr<KVRConferenceUserInfo>> KVRConferenceUserList::arrUserList() const {
    std::lock_guard lock(mutex_);
    return arrUserList_;
}

std::string KVRConferenceUserList::getListText() const {
    std::string out;
    for (const auto& u : arrUserList()) {
        out += u->toRecord();
        out += kRecordSeparator;
    }
    return out;
}
