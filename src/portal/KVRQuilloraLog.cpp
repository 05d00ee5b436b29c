#include "portal/KVRQuilloraLog.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceShareFileList.h"
#include "conference/KVRSubroomList.h"

namespace {
constexpr char kSep = '\x01';

std::string lastPathComponent(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string textValue(const KVRConfig* config, const char* key) {
    if (!config) return "(null)";
    auto v = config->stringValue(key);
    return v ? *v : "(null)";
}

std::string integerValue(const KVRConfig* config, const char* key) {
    return std::to_string(config ? config->integerValue(key) : 0);
}
}  // namespace

KVRQuilloraLog::KVRQuilloraLog(std::shared_ptr<KVRConferenceControl> control) : control_(std::move(control)) {
    if (!control_) control_ = std::make_shared<KVRMainServerControl>();
}

const char* KVRQuilloraLog::eventName(int64_t eventCode) {
    static const char* const names[] = {"Open", "Close", "In", "InFail", "Destroy", "Out", "Workout"};
    return eventCode >= 0 && eventCode <= 6 ? names[eventCode] : nullptr;
}

std::string KVRQuilloraLog::sanitize(std::string value) {
    for (char& c : value)
        if (c == '\x01' || c == '\x02' || c == '\x04') c = ' ';
    return value;
}

int64_t KVRQuilloraLog::selectedSubRoomNo() {
    auto rooms = KVRGlobalData::sharedGlobalData()->subroomList();
    return rooms ? rooms->getSelectedSubRoomNo() : -1;
}

bool KVRQuilloraLog::isSeminarType() {
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    return config && config->productType() == 2 && config->integerValue("MST") == 9;
}

std::string KVRQuilloraLog::commonTail() {
    auto holder = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    const KVRConfig* c = holder.get();
    const std::vector<std::string> tail = {
        textValue(c, "UID"), textValue(c, "ALS"), integerValue(c, "NTP"), textValue(c, "TIK"),
        textValue(c, "TID"), textValue(c, "RNM"), integerValue(c, "MAX"), "17",
        textValue(c, "SIK"), textValue(c, "CIK"), textValue(c, "ROT"), textValue(c, "RCT")};
    std::string out;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (i) out += kSep;
        out += sanitize(tail[i]);
    }
    return out;
}

std::string KVRQuilloraLog::buildRecord(const std::vector<std::string>& leadingFields) {
    std::string out;
    for (const auto& f : leadingFields) {
        out += sanitize(f);
        out += kSep;
    }
    return out + commonTail();
}

bool KVRQuilloraLog::sendLog(int64_t eventCode) {
    const char* name = eventName(eventCode);
    if (!name) return false;
    auto record = buildRecord({std::to_string(selectedSubRoomNo()), name});
    KVRLog("Quillora Event Log : %s", record.c_str());
    return control_->sendQuilloraLog(record);
}

bool KVRQuilloraLog::sendConferenceShareFileLog() {
    if (!isSeminarType() || _isLoggedShareFile) return false;
    auto files = KVRGlobalData::sharedGlobalData()->conferenceShareFileList();
    auto record = buildRecord({std::to_string(selectedSubRoomNo()), files ? files->getShareFileString() : ""});
    // Set first: a failed request is not retried.
    _isLoggedShareFile = true;
    KVRLog("Quillora Doc Log : %s", record.c_str());
    control_->sendQuilloraDocLog(record);
    return true;
}

bool KVRQuilloraLog::sendVODLog(const std::string& path) {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto config = g->kvrcConfig();
    auto rooms = g->subroomList();
    if (isSeminarType()) {
        if (!config || config->getUserType() != 101) return false;
    } else if (rooms && rooms->isOwner()) {
        return false;
    }
    auto record = buildRecord(
        {std::to_string(selectedSubRoomNo()), lastPathComponent(path), "mp4", "", "1", "0", "1"});
    KVRLog("Quillora VOD Log : %s", record.c_str());
    return control_->sendQuilloraVOD(record);
}

bool KVRQuilloraLog::sendChatLog(const std::string& path) {
    if (_isLoggedTextChat) return true;
    _isLoggedTextChat = true;
    auto record = buildRecord(
        {std::to_string(selectedSubRoomNo()), lastPathComponent(path), "", "rtf", "0", "1", "1"});
    KVRLog("Quillora Chat Log : %s", record.c_str());
    return control_->sendQuilloraVOD(record);
}

void KVRQuilloraLog::sendEnqueteReqister(int64_t enqueteValue, const std::string& text) {
    auto record = buildRecord({std::to_string(selectedSubRoomNo()), enqueteValue == 0x4000 ? "2" : "1", text});
    KVRLog("Quillora Enquete => registry : %s", record.c_str());
    control_->sendEnqueteRegister(record);
}

bool KVRQuilloraLog::sendEnqueteAnswer(int64_t /*number*/, const std::string& memo) {
    return control_->sendEnqueteAnswer(buildRecord({std::to_string(selectedSubRoomNo()), memo}));
}
