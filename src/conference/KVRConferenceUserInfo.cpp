#include "conference/KVRConferenceUserInfo.h"

#include <memory>

#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceText.h"

using namespace kvr::conf;

std::optional<KVRConferenceUserInfo::Data> KVRConferenceUserInfo::parse(std::string_view text) {
    text = untilZero(text);
    auto f = recordFields(text);
    if (f.size() < kMinimumFields) {
        if (!text.empty() && text.front() != kRecordSeparator)
            KVRLog("User record rejected (%zu fields, at least %zu needed) : %s", f.size(), kMinimumFields,
                   excerpt(text).c_str());
        return std::nullopt;
    }
    if (!isValidUtf8(text)) {
        KVRLog("User record rejected (not UTF-8) : %s", excerpt(text).c_str());
        return std::nullopt;
    }
    // The ID is the list's key: a record without one could never be found or removed again.
    if (f[0].empty()) {
        KVRLog("User record rejected (no user ID) : %s", excerpt(text).c_str());
        return std::nullopt;
    }
    Data d;
    d._userID = f[0];
    d._gender = kvr::leadingInteger(f[1]);
    d._alias = f[2];
    d._loginStatus = kvr::leadingInteger(f[3]);
    d._camStatus = f[4] == "Y" ? 1 : 0;
    d._micStatus = f[5] == "Y" ? 1 : 0;
    d._userStatus = kvr::leadingInteger(f[6]);
    d._ctrlStatus = kvr::leadingInteger(f[7]);
    d._localIP = f[9];
    d._userType = kvr::leadingInteger(f[10]);
    d._natIP = f[11];
    d._natPort = kvr::leadingInteger(f[12]);
    d._gatewayIP = f[13];
    d._loginTime = f[16];
    return d;
}

std::string KVRConferenceUserInfo::toRecord(const Data& d) {
    const std::string sep(1, kFieldSeparator);
    auto t = [](const std::string& s) { return cleanField(s, false); };
    auto n = [](int64_t v) { return std::to_string(v); };
    return t(d._userID) + sep + n(d._gender) + sep + t(d._alias) + sep + n(d._loginStatus) + sep +
           (d._camStatus == 1 ? "Y" : "N") + sep + (d._micStatus == 1 ? "Y" : "N") + sep + n(d._userStatus) + sep +
           n(d._ctrlStatus) + sep + /* 8 */ sep + t(d._localIP) + sep + n(d._userType) + sep + t(d._natIP) + sep +
           n(d._natPort) + sep + t(d._gatewayIP) + sep + /* 14 */ sep + /* 15 */ sep + t(d._loginTime);
}

std::shared_ptr<KVRConferenceUserInfo> KVRConferenceUserInfo::initWithData(std::string_view text) {
    auto d = parse(text);
    return d ? std::make_shared<KVRConferenceUserInfo>(std::move(*d)) : nullptr;
}

bool KVRConferenceUserInfo::setData(std::string_view text) {
    auto d = parse(text);
    if (!d) return false;
    std::lock_guard lock(mutex_);
    data_ = std::move(*d);
    return true;
}

std::string KVRConferenceUserInfo::toRecord() const { return toRecord(data()); }

KVRConferenceUserInfo::Data KVRConferenceUserInfo::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

std::string KVRConferenceUserInfo::userID() const {
    std::lock_guard lock(mutex_);
    return data_._userID;
}
std::string KVRConferenceUserInfo::alias() const {
    std::lock_guard lock(mutex_);
    return data_._alias;
}
int64_t KVRConferenceUserInfo::userType() const {
    std::lock_guard lock(mutex_);
    return data_._userType;
}
int64_t KVRConferenceUserInfo::camStatus() const {
    std::lock_guard lock(mutex_);
    return data_._camStatus;
}
int64_t KVRConferenceUserInfo::micStatus() const {
    std::lock_guard lock(mutex_);
    return data_._micStatus;
}
