#include "conference/KVRSubroomInfo.h"

#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceText.h"

using namespace kvr::conf;

std::optional<KVRSubroomInfo::Data> KVRSubroomInfo::parse(std::string_view text) {
    text = untilZero(text);
    auto f = recordFields(text);
    if (f.size() < kMinimumFields) {
        if (!text.empty() && text.front() != kRecordSeparator)
            KVRLog("Sub-room record rejected (%zu fields, at least %zu needed) : %s", f.size(), kMinimumFields,
                   excerpt(text).c_str());
        return std::nullopt;
    }
    if (!isValidUtf8(text)) {
        KVRLog("Sub-room record rejected (not UTF-8) : %s", excerpt(text).c_str());
        return std::nullopt;
    }
    Data d;
    d._roomno = kvr::leadingInteger(f[0]);
    d._ownerID = f[1];
    d._captainID = f[2];
    d._regDate = f[3];
    d._name = f[4];
    d._roomStyle = kvr::leadingInteger(f[5]);
    d._password = f[6];
    d._maxUserCount = kvr::leadingInteger(f[7]);
    d._roomType = kvr::leadingInteger(f[8]);
    d._currentUserCount = kvr::leadingInteger(f[9]);
    d._picturePath = f[10];
    return d;
}

std::string KVRSubroomInfo::toRecord(const Data& d) {
    const std::string sep(1, kFieldSeparator);
    auto t = [](const std::string& s) { return cleanField(s, false); };
    return std::to_string(d._roomno) + sep + t(d._ownerID) + sep + t(d._captainID) + sep + t(d._regDate) + sep +
           t(d._name) + sep + std::to_string(d._roomStyle) + sep + t(d._password) + sep +
           std::to_string(d._maxUserCount) + sep + std::to_string(d._roomType) + sep +
           std::to_string(d._currentUserCount) + sep + t(d._picturePath);
}

bool KVRSubroomInfo::setData(std::string_view text) {
    auto parsed = parse(text);
    if (!parsed) return false;
    std::lock_guard lock(mutex_);
    parsed->_selected = data_._selected;
    data_ = std::move(*parsed);
    return true;
}

std::string KVRSubroomInfo::toRecord() const { return toRecord(data()); }

KVRSubroomInfo::Data KVRSubroomInfo::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

int64_t KVRSubroomInfo::roomno() const {
    std::lock_guard lock(mutex_);
    return data_._roomno;
}
std::string KVRSubroomInfo::name() const {
    std::lock_guard lock(mutex_);
    return data_._name;
}
std::string KVRSubroomInfo::ownerID() const {
    std::lock_guard lock(mutex_);
    return data_._ownerID;
}
void KVRSubroomInfo::setOwnerID(const std::string& ownerID) {
    std::lock_guard lock(mutex_);
    data_._ownerID = ownerID;
}
int64_t KVRSubroomInfo::maxUserCount() const {
    std::lock_guard lock(mutex_);
    return data_._maxUserCount;
}
void KVRSubroomInfo::setMaxUserCount(int64_t count) {
    std::lock_guard lock(mutex_);
    data_._maxUserCount = count;
}
int64_t KVRSubroomInfo::currentUserCount() const {
    std::lock_guard lock(mutex_);
    return data_._currentUserCount;
}
void KVRSubroomInfo::updateUserCount(int64_t offset) {
    std::lock_guard lock(mutex_);
    // A hostile count must not overflow into undefined behaviour.
    int64_t sum;
    if (__builtin_add_overflow(data_._currentUserCount, offset, &sum)) return;
    data_._currentUserCount = sum;
}
bool KVRSubroomInfo::isSelected() const {
    std::lock_guard lock(mutex_);
    return data_._selected;
}
void KVRSubroomInfo::setSelected(bool selected) {
    std::lock_guard lock(mutex_);
    data_._selected = selected;
}
