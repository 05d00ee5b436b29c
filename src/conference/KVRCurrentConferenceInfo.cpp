#include "conference/KVRCurrentConferenceInfo.h"

#include <memory>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceText.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRSubroomList.h"

using namespace kvr::conf;

namespace {
const std::string_view kFieldSep(&kFieldSeparator, 1);
const std::string_view kRecordSep(&kRecordSeparator, 1);
const std::string_view kInnerSep(&kInnerSeparator, 1);

// What the permission rules read from the rest of the client, gathered before the state's own lock is
// taken so that no two locks are ever held together.
struct Context {
    std::shared_ptr<KVRConfig> config;
    std::optional<std::string> uid;
    int64_t productType = 0;  // no configuration: no product, so no room permissions
    int64_t userType = 0;
    bool seminar = false;
    std::string owner;
    int64_t maxUsers = 0;
    int64_t selectedRoomNo = -1;
};

Context context() {
    Context c;
    auto* g = KVRGlobalData::sharedGlobalData();
    c.config = g->kvrcConfig();
    if (c.config) {
        c.uid = c.config->stringValue("UID");
        c.productType = c.config->productType();
        c.userType = c.config->getUserType();
        c.seminar = c.productType == 2 && c.config->integerValue("MST") == 9;
    }
    if (auto rooms = g->subroomList()) {
        c.owner = rooms->getOwnerID();
        c.maxUsers = rooms->getMaxUserCount();
        c.selectedRoomNo = rooms->getSelectedSubRoomNo();
    }
    return c;
}

// The owner as the state reader takes it: the selected room's owner, else the lecturer of the launch.
std::string readerOwner(const Context& c) {
    if (!c.owner.empty()) return c.owner;
    auto mid = c.config ? c.config->stringValue("MID") : std::nullopt;
    return mid.value_or(std::string());
}

bool isLecturerType(int64_t type) { return type == 100 || type == 103 || type == 200; }

bool sameNonEmpty(const std::optional<std::string>& a, const std::string& b) { return a && !b.empty() && *a == b; }

const char* kOwner = "ownerid";
const char* kAdmin = "adminid";
const char* kSpeaker = "speakerid";
const char* kDocCtrl = "docctrlid";
const char* kUrlCtrl = "urlctrlid";
const char* kConfMode = "confmode";
const char* kScreenType = "screentype";
const char* kRtcHost = "rtchostid";
const char* kRtcRun = "rtcrun";
const char* kRtcCtrl = "rtcctrlid";
const char* kEnlarge = "enlargevideoid";
const char* kBoardZoom = "boardzoom";
const char* kChatOnOff = "chatonoff";
const char* kExtraValue = "extravalue";
const char* kSubroomNo = "subroomno";
}  // namespace

KVRCurrentConferenceInfo::KVRCurrentConferenceInfo(const KVRCurrentConferenceInfo& other) {
    std::lock_guard lock(other.mutex_);
    dicCurrConfInfo_ = other.dicCurrConfInfo_;
    dicVideoIDs_ = other.dicVideoIDs_;
    dicAudioIDs_ = other.dicAudioIDs_;
    dicDocIDs_ = other.dicDocIDs_;
    dicChatIDs_ = other.dicChatIDs_;
    _isPressedAudioSendKey = other._isPressedAudioSendKey;
}

std::optional<std::string> KVRCurrentConferenceInfo::entry(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = dicCurrConfInfo_.find(key);
    if (it == dicCurrConfInfo_.end()) return std::nullopt;
    return it->second;
}

std::string KVRCurrentConferenceInfo::text(const std::string& key) const { return entry(key).value_or(std::string()); }

void KVRCurrentConferenceInfo::setEntry(const std::string& key, std::string value) {
    std::lock_guard lock(mutex_);
    dicCurrConfInfo_[key] = std::move(value);
}

int64_t KVRCurrentConferenceInfo::getSubRoomNo() const { return kvr::leadingInteger(text(kSubroomNo)); }
void KVRCurrentConferenceInfo::setSubRoomNo(int64_t roomNo) { setEntry(kSubroomNo, std::to_string(roomNo)); }
std::string KVRCurrentConferenceInfo::getOwnerID() const { return text(kOwner); }
void KVRCurrentConferenceInfo::setOwnerID(const std::string& id) { setEntry(kOwner, id); }
std::string KVRCurrentConferenceInfo::getAdminID() const { return text(kAdmin); }
void KVRCurrentConferenceInfo::setAdminID(const std::string& id) { setEntry(kAdmin, id); }
std::string KVRCurrentConferenceInfo::getSpeakerID() const { return text(kSpeaker); }
void KVRCurrentConferenceInfo::setSpeakerID(const std::string& id) { setEntry(kSpeaker, id); }
std::string KVRCurrentConferenceInfo::getDocCtrlID() const { return text(kDocCtrl); }
void KVRCurrentConferenceInfo::setDocCtrlID(const std::string& id) { setEntry(kDocCtrl, id); }
std::string KVRCurrentConferenceInfo::getUrlCtrlID() const { return text(kUrlCtrl); }
void KVRCurrentConferenceInfo::setUrlCtrlID(const std::string& id) { setEntry(kUrlCtrl, id); }
int64_t KVRCurrentConferenceInfo::getConfMode() const { return kvr::leadingInteger(text(kConfMode)); }
void KVRCurrentConferenceInfo::setConfMode(int64_t mode) { setEntry(kConfMode, std::to_string(mode)); }
std::string KVRCurrentConferenceInfo::getScreenType() const { return text(kScreenType); }
void KVRCurrentConferenceInfo::setScreenType(const std::string& type) { setEntry(kScreenType, type); }
std::string KVRCurrentConferenceInfo::getRtcHostID() const { return text(kRtcHost); }
void KVRCurrentConferenceInfo::setRtcHostID(const std::string& id) { setEntry(kRtcHost, id); }
std::string KVRCurrentConferenceInfo::getRtcRun() const { return text(kRtcRun); }
void KVRCurrentConferenceInfo::setRtcRun(const std::string& run) { setEntry(kRtcRun, run); }
std::string KVRCurrentConferenceInfo::getRtcCtrlID() const { return text(kRtcCtrl); }
void KVRCurrentConferenceInfo::setRtcCtrlID(const std::string& id) { setEntry(kRtcCtrl, id); }
std::string KVRCurrentConferenceInfo::getEnlargeVideoID() const { return text(kEnlarge); }
void KVRCurrentConferenceInfo::setEnlargeVideoID(const std::string& id) { setEntry(kEnlarge, id); }
std::string KVRCurrentConferenceInfo::getBoardZoom() const { return text(kBoardZoom); }
void KVRCurrentConferenceInfo::setBoardZoom(const std::string& zoom) { setEntry(kBoardZoom, zoom); }
std::string KVRCurrentConferenceInfo::getChatOnOff() const { return text(kChatOnOff); }
void KVRCurrentConferenceInfo::setChatOnOff(const std::string& onOff) { setEntry(kChatOnOff, onOff); }
std::string KVRCurrentConferenceInfo::getExtraValue() const { return text(kExtraValue); }
void KVRCurrentConferenceInfo::setExtraValue(const std::string& value) { setEntry(kExtraValue, value); }

void KVRCurrentConferenceInfo::setRTCInfo(std::string_view block) {
    auto parts = kvr::split(block, kInnerSep);
    const char* keys[] = {kRtcHost, kRtcRun, kRtcCtrl};
    for (size_t i = 0; i < 3 && i < parts.size(); ++i) setEntry(keys[i], parts[i]);
}

void KVRCurrentConferenceInfo::setETCInfo(std::string_view block) {
    auto parts = kvr::split(block, kInnerSep);
    const char* keys[] = {kEnlarge, kBoardZoom, kChatOnOff, kExtraValue};
    for (size_t i = 0; i < 4 && i < parts.size(); ++i) setEntry(keys[i], parts[i]);
}

void KVRCurrentConferenceInfo::fillSet(IDSet& set, std::string_view ids) {
    set.clear();
    for (auto& piece : kvr::split(ids, kInnerSep))
        if (!piece.empty()) set.insert(std::move(piece));
}

void KVRCurrentConferenceInfo::setVideoIDs(std::string_view ids) {
    std::lock_guard lock(mutex_);
    fillSet(dicVideoIDs_, ids);
}
void KVRCurrentConferenceInfo::setAudioIDs(std::string_view ids) {
    std::lock_guard lock(mutex_);
    fillSet(dicAudioIDs_, ids);
}
void KVRCurrentConferenceInfo::setDocIDs(std::string_view ids) {
    std::lock_guard lock(mutex_);
    fillSet(dicDocIDs_, ids);
}
void KVRCurrentConferenceInfo::setChatIDs(std::string_view ids) {
    std::lock_guard lock(mutex_);
    fillSet(dicChatIDs_, ids);
}

size_t KVRCurrentConferenceInfo::getVideoUserCount() const {
    std::lock_guard lock(mutex_);
    return dicVideoIDs_.size();
}
size_t KVRCurrentConferenceInfo::getAudioUserCount() const {
    std::lock_guard lock(mutex_);
    return dicAudioIDs_.size();
}
size_t KVRCurrentConferenceInfo::getDocUserCount() const {
    std::lock_guard lock(mutex_);
    return dicDocIDs_.size();
}
size_t KVRCurrentConferenceInfo::getChatUserCount() const {
    std::lock_guard lock(mutex_);
    return dicChatIDs_.size();
}
std::vector<std::string> KVRCurrentConferenceInfo::allKeysAudioIDs() const {
    std::lock_guard lock(mutex_);
    return {dicAudioIDs_.begin(), dicAudioIDs_.end()};
}
bool KVRCurrentConferenceInfo::isHasVideoPermission(const std::string& userID) const {
    std::lock_guard lock(mutex_);
    return dicVideoIDs_.count(userID) > 0;
}
bool KVRCurrentConferenceInfo::isHasAudioPermission(const std::string& userID) const {
    std::lock_guard lock(mutex_);
    return dicAudioIDs_.count(userID) > 0;
}
bool KVRCurrentConferenceInfo::isHasDocPermission(const std::string& userID) const {
    std::lock_guard lock(mutex_);
    return dicDocIDs_.count(userID) > 0;
}
KVRCurrentConferenceInfo::IDSet KVRCurrentConferenceInfo::dicVideoIDs() const {
    std::lock_guard lock(mutex_);
    return dicVideoIDs_;
}
KVRCurrentConferenceInfo::IDSet KVRCurrentConferenceInfo::dicAudioIDs() const {
    std::lock_guard lock(mutex_);
    return dicAudioIDs_;
}
KVRCurrentConferenceInfo::IDSet KVRCurrentConferenceInfo::dicDocIDs() const {
    std::lock_guard lock(mutex_);
    return dicDocIDs_;
}
KVRCurrentConferenceInfo::IDSet KVRCurrentConferenceInfo::dicChatIDs() const {
    std::lock_guard lock(mutex_);
    return dicChatIDs_;
}
std::map<std::string, std::string> KVRCurrentConferenceInfo::dicCurrConfInfo() const {
    std::lock_guard lock(mutex_);
    return dicCurrConfInfo_;
}

int64_t KVRCurrentConferenceInfo::getClassConfMode() const { return getConfMode(); }
void KVRCurrentConferenceInfo::setClassConfMode(int64_t mode) { setConfMode(mode); }
int64_t KVRCurrentConferenceInfo::getClassScreenType() const { return kvr::leadingInteger(text(kScreenType)); }
void KVRCurrentConferenceInfo::setClassScreenType(int64_t type) { setEntry(kScreenType, std::to_string(type)); }

bool KVRCurrentConferenceInfo::isChatOn() const { return kvr::leadingInteger(text(kChatOnOff)) > 0; }

bool KVRCurrentConferenceInfo::toggleChatOnOff() {
    std::lock_guard lock(mutex_);
    auto it = dicCurrConfInfo_.find(kChatOnOff);
    bool on = it != dicCurrConfInfo_.end() && kvr::leadingInteger(it->second) > 0;
    dicCurrConfInfo_[kChatOnOff] = on ? "0" : "1";
    return true;
}

int64_t KVRCurrentConferenceInfo::getEnqueteValue() const {
    auto v = entry(kExtraValue);
    return v ? kvr::leadingInteger(*v) : -1;
}

const std::vector<std::string>& KVRCurrentConferenceInfo::zoomValues() {
    static const std::vector<std::string> values = {"996", "997", "998", "10",  "25",  "50",  "75",
                                                    "100", "110", "120", "130", "140", "150", "200"};
    return values;
}

int KVRCurrentConferenceInfo::zoomIndexFromValue(std::string_view value) {
    const auto& v = zoomValues();
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] == value) return static_cast<int>(i);
    return 0;
}

int KVRCurrentConferenceInfo::zoomIndexFromValue() const { return zoomIndexFromValue(text(kBoardZoom)); }

bool KVRCurrentConferenceInfo::setZoomValueByIndex(int64_t index) {
    const auto& v = zoomValues();
    if (index < 0 || index >= static_cast<int64_t>(v.size())) return false;
    setEntry(kBoardZoom, v[static_cast<size_t>(index)]);
    return true;
}

void KVRCurrentConferenceInfo::setPressedAudioSendKey(bool pressed) {
    std::lock_guard lock(mutex_);
    _isPressedAudioSendKey = pressed;
}

bool KVRCurrentConferenceInfo::isPressedAudioSendKey() const {
    std::lock_guard lock(mutex_);
    return _isPressedAudioSendKey;
}

bool KVRCurrentConferenceInfo::setCurrConfInfo(std::string_view payload, bool isAlarm) {
    const char* what = isAlarm ? "alarm" : "reply";
    auto textView = untilZero(payload);
    if (!isValidUtf8(textView)) {
        KVRLog("Conference state %s rejected (not UTF-8) : %s", what, excerpt(textView).c_str());
        return false;
    }
    auto pieces = kvr::split(textView, kRecordSep);
    const Context ctx = context();
    const std::string owner = readerOwner(ctx);

    // Checked before anything is touched: a rejected text must leave the state as it was.
    std::vector<std::string> f;
    if (pieces.size() > 1) {
        f = kvr::split(pieces[0], kFieldSep);
        const size_t needed = isAlarm ? kAlarmMinimumFields : kReplyMinimumFields;
        if (f.size() < needed) {
            KVRLog("Conference state %s rejected (%zu fields, at least %zu needed) : %s", what, f.size(), needed,
                   excerpt(textView).c_str());
            return false;
        }
    }

    std::lock_guard lock(mutex_);
    auto& d = dicCurrConfInfo_;
    if (!owner.empty()) {
        for (auto* set : {&dicVideoIDs_, &dicAudioIDs_, &dicDocIDs_, &dicChatIDs_}) set->insert(owner);
    }
    if (pieces.size() == 1) {
        // The server has no state for the room yet: the owner holds every role.
        for (const char* key : {kOwner, kAdmin, kSpeaker, kDocCtrl, kUrlCtrl, kRtcHost, kRtcCtrl}) d[key] = owner;
        d[kConfMode] = ctx.seminar ? "0" : "2";
        d[kScreenType] = std::to_string(ctx.maxUsers);
        d[kRtcRun] = "0";
        d[kEnlarge] = "";
        d[kExtraValue] = "0";
        return true;
    }

    size_t next;
    if (isAlarm) {
        // Fields 0 and 1 carry the sender, not the state; the owner is the administrator of field 3.
        d[kSubroomNo] = f[2];
        d[kOwner] = f[3];
        d[kAdmin] = f[3];
        d[kSpeaker] = f[4];
        d[kDocCtrl] = f[5];
        d[kUrlCtrl] = f[6];
        d[kConfMode] = f[7];
        d[kScreenType] = f[8];
        next = 9;
    } else {
        d[kOwner] = f[0];
        d[kAdmin] = f[0];
        d[kSpeaker] = f[1];
        d[kDocCtrl] = f[2];
        d[kUrlCtrl] = f[3];
        d[kConfMode] = f[4];
        d[kScreenType] = f[5];
        next = 6;
    }
    if (next < f.size()) {
        auto parts = kvr::split(f[next], kInnerSep);
        const char* keys[] = {kRtcHost, kRtcRun, kRtcCtrl};
        for (size_t i = 0; i < 3 && i < parts.size(); ++i) d[keys[i]] = parts[i];
    }
    if (next + 1 < f.size()) {
        auto parts = kvr::split(f[next + 1], kInnerSep);
        const char* keys[] = {kEnlarge, kBoardZoom, kChatOnOff, kExtraValue};
        for (size_t i = 0; i < 4 && i < parts.size(); ++i) d[keys[i]] = parts[i];
    }
    IDSet* sets[] = {&dicVideoIDs_, &dicAudioIDs_, &dicDocIDs_, &dicChatIDs_};
    for (size_t i = 0; i < 4 && next + 2 + i < f.size(); ++i) fillSet(*sets[i], f[next + 2 + i]);
    return true;
}

std::string KVRCurrentConferenceInfo::getInfo() const {
    const Context ctx = context();
    std::lock_guard lock(mutex_);
    bool cleaned = false;
    auto field = [&](const char* key, const char* fallback, bool inBlock) {
        auto it = dicCurrConfInfo_.find(key);
        if (it == dicCurrConfInfo_.end()) return std::string(fallback ? fallback : "(null)");
        bool changed = false;
        auto out = cleanField(it->second, inBlock, &changed);
        cleaned = cleaned || changed;
        return out;
    };
    auto setText = [&](const IDSet& set) {
        std::string out;
        for (const auto& id : set) {
            bool changed = false;
            out += cleanField(id, true, &changed);
            cleaned = cleaned || changed;
            out += kInnerSeparator;
        }
        return out;
    };
    auto confMode = dicCurrConfInfo_.count(kConfMode) ? kvr::leadingInteger(dicCurrConfInfo_.at(kConfMode)) : 0;

    std::string out;
    auto add = [&](const std::string& s) {
        if (!out.empty()) out += kFieldSeparator;
        out += s;
    };
    add(std::to_string(ctx.selectedRoomNo));
    add(field(kAdmin, nullptr, false));
    add(field(kSpeaker, nullptr, false));
    add(field(kDocCtrl, nullptr, false));
    add(field(kUrlCtrl, nullptr, false));
    add(std::to_string(confMode));
    add(field(kScreenType, nullptr, false));
    add(field(kRtcHost, nullptr, true) + "|" + field(kRtcRun, nullptr, true) + "|" + field(kRtcCtrl, nullptr, true) +
        "|");
    add(field(kEnlarge, nullptr, true) + "|" + field(kBoardZoom, "100", true) + "|" +
        field(kChatOnOff, "0", true) + "|" + field(kExtraValue, "0", true) + "|");
    add(setText(dicVideoIDs_));
    add(setText(dicAudioIDs_));
    add(setText(dicDocIDs_));
    add(setText(dicChatIDs_));
    out += kRecordSeparator;
    if (cleaned) KVRLog("Conference state: separator characters removed from its entries before publishing");
    return out;
}

std::optional<std::string> KVRCurrentConferenceInfo::replyLayoutFromPublished(std::string_view published) {
    published = untilZero(published);
    auto pieces = kvr::split(published, kRecordSep);
    auto f = kvr::split(pieces[0], kFieldSep);
    if (pieces.size() < 2 || f.size() < kPublishedMinimumFields || !isValidUtf8(pieces[0])) {
        KVRLog("Published conference state rejected : %s", excerpt(published).c_str());
        return std::nullopt;
    }
    std::string out;
    for (size_t i = 1; i < f.size(); ++i) {
        if (i > 1) out += kFieldSeparator;
        out += f[i];
    }
    out += kRecordSeparator;
    return out;
}

std::optional<std::string> KVRCurrentConferenceInfo::alarmLayoutFromPublished(std::string_view senderID,
                                                                              std::string_view published) {
    published = untilZero(published);
    auto pieces = kvr::split(published, kRecordSep);
    auto f = kvr::split(pieces[0], kFieldSep);
    if (pieces.size() < 2 || f.size() < kPublishedMinimumFields || !isValidUtf8(pieces[0])) {
        KVRLog("Published conference state rejected : %s", excerpt(published).c_str());
        return std::nullopt;
    }
    return cleanField(senderID, false) + kFieldSeparator + kFieldSeparator + pieces[0] + kRecordSeparator;
}

bool KVRCurrentConferenceInfo::changeOwner(const std::string& oldID, const std::string& newID) {
    if (oldID == newID) return true;
    std::lock_guard lock(mutex_);
    for (const char* key : {kOwner, kSpeaker, kDocCtrl, kUrlCtrl, kRtcHost, kRtcCtrl}) dicCurrConfInfo_[key] = newID;
    if (dicCurrConfInfo_[kAdmin] != newID) dicCurrConfInfo_[kAdmin] = newID;
    for (auto* set : {&dicVideoIDs_, &dicAudioIDs_, &dicDocIDs_, &dicChatIDs_}) {
        set->erase(oldID);
        if (!newID.empty()) set->insert(newID);
    }
    return true;
}

void KVRCurrentConferenceInfo::toggleMicPermission(const std::string& userID) {
    const std::string owner = context().owner;
    std::lock_guard lock(mutex_);
    if (dicAudioIDs_.erase(userID)) {
        if (!owner.empty()) dicAudioIDs_.insert(owner);
    } else if (!userID.empty()) {
        dicAudioIDs_.insert(userID);
    }
}

void KVRCurrentConferenceInfo::toggleDrawingPermission(const std::string& userID) {
    const std::string owner = context().owner;
    std::lock_guard lock(mutex_);
    if (dicDocIDs_.erase(userID)) {
        if (!owner.empty()) dicDocIDs_.insert(owner);
    } else if (!userID.empty()) {
        dicDocIDs_.insert(userID);
    }
}

bool KVRCurrentConferenceInfo::isClassOwner() const {
    auto c = context();
    return sameNonEmpty(c.uid, c.owner);
}

bool KVRCurrentConferenceInfo::isClassOwner(const std::string& userID) const {
    auto c = context();
    return !c.owner.empty() && userID == c.owner;
}

bool KVRCurrentConferenceInfo::isClassAdmin() const {
    auto c = context();
    return sameNonEmpty(c.uid, getAdminID());
}

bool KVRCurrentConferenceInfo::isClassAdmin(const std::string& userID) const { return isAdmin(userID); }

bool KVRCurrentConferenceInfo::isAdmin(const std::string& userID) const {
    auto admin = getAdminID();
    return !admin.empty() && userID == admin;
}

bool KVRCurrentConferenceInfo::isClassMonitor() const { return context().userType == 101; }

bool KVRCurrentConferenceInfo::isClassMonitor(const std::string& userID) const {
    auto users = KVRGlobalData::sharedGlobalData()->conferenceUserList();
    return users && users->getUserType(userID) == 101;
}

bool KVRCurrentConferenceInfo::isClassCtrlPermission() const {
    auto c = context();
    if (c.seminar) return isLecturerType(c.userType);
    return sameNonEmpty(c.uid, c.owner) || sameNonEmpty(c.uid, getAdminID());
}

bool KVRCurrentConferenceInfo::isClassDocuemntCtrlPermission() const {
    auto c = context();
    if (c.seminar) return isLecturerType(c.userType);
    return sameNonEmpty(c.uid, c.owner) || sameNonEmpty(c.uid, getAdminID()) || (c.uid && isHasDocPermission(*c.uid));
}

bool KVRCurrentConferenceInfo::isClassDocuemntDrawPermission() const {
    auto c = context();
    if (!c.seminar) return true;
    return isLecturerType(c.userType) || (c.uid && isHasDocPermission(*c.uid));
}

bool KVRCurrentConferenceInfo::isClassLocVideoPermission() const {
    auto c = context();
    if (c.productType != 2) return false;
    return !c.seminar || sameNonEmpty(c.uid, c.owner);
}

bool KVRCurrentConferenceInfo::isClassLocAudioPermission() const {
    auto c = context();
    if (c.productType != 2) return false;
    const bool owner = sameNonEmpty(c.uid, c.owner);
    if (c.seminar) return owner || (c.uid && isHasAudioPermission(*c.uid));
    if (owner) return true;
    if (c.maxUsers > 8) return isPressedAudioSendKey();
    return c.userType != 101;
}

bool KVRCurrentConferenceInfo::isClassWebSharePermission() const { return isClassOwner(); }

bool KVRCurrentConferenceInfo::isHasOnDemandRecordPermission() const {
    auto c = context();
    if (!c.config || c.config->integerValue("RTP") != 1 || c.config->integerValue("RQT") == 0) return false;
    return c.seminar ? c.userType == 101 : (c.userType == 100 || c.userType == 103);
}

bool KVRCurrentConferenceInfo::isHasRecordPermission() const {
    if (isHasOnDemandRecordPermission()) return true;
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    return config && config->integerValue("SRP") == 1;
}
