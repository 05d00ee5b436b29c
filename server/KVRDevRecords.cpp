#include "KVRDevRecords.h"

#include <charconv>

#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceUserInfo.h"
#include "conference/KVRSubroomInfo.h"

bool KVRDevRoom::hasMember(std::string_view id) const {
    for (const auto& m : members)
        if (m == id) return true;
    return false;
}

namespace KVRDevRecords {
std::string subRoomRecord(const KVRDevRoom& r) {
    KVRSubroomInfo::Data d;
    d._roomno = r.roomNo;
    d._ownerID = r.ownerID;
    d._captainID = r.captainID;
    d._regDate = r.regDate;
    d._name = r.name;
    d._password = r.password;
    d._picturePath = r.picturePath;
    d._roomStyle = r.roomStyle;
    d._roomType = r.roomType;
    d._maxUserCount = r.maxUsers;
    d._currentUserCount = static_cast<int64_t>(r.members.size());
    return KVRSubroomInfo::toRecord(d) + kRecord;
}

std::string userRecord(const KVRDevUser& u) {
    KVRConferenceUserInfo::Data d;
    d._userID = u.userID;
    d._alias = u.alias;
    d._gender = u.gender;
    d._camStatus = u.camFlag == "Y" ? 1 : 0;
    d._micStatus = u.micFlag == "Y" ? 1 : 0;
    d._loginStatus = u.loginStatus;
    d._userStatus = u.userStatus;
    d._ctrlStatus = u.ctrlStatus;
    d._userType = u.userType;
    d._loginTime = u.loginTime;
    d._localIP = u.localIP;
    d._gatewayIP = u.gatewayIP;
    d._natIP = u.natIP;
    d._natPort = u.natPort;
    return KVRConferenceUserInfo::toRecord(d) + kRecord;
}

std::string documentRecord(const KVRDevDocument& d) {
    std::string out;
    for (const std::string& f : {d.owner, d.title, d.pageTitle, d.fileName, std::string(d.active ? "1" : "0")}) {
        out += f;
        out += kField;
    }
    return out;
}

std::string confStateReply(const std::string& stored) {
    size_t at = stored.find(kField);
    return (at == std::string::npos ? std::string() : stored.substr(at + 1)) + kRecord;
}

std::string confStateAlarm(const std::string& ownerID, const std::string& senderID, const std::string& stored) {
    return ownerID + kField + senderID + kField + stored + kRecord;
}

std::vector<std::string> requestFields(std::string_view payload) {
    size_t end = payload.find(kRecord);
    if (end != std::string_view::npos) payload = payload.substr(0, end);
    return kvr::split(payload, std::string_view("\x01", 1));
}

std::optional<int64_t> parseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
    return v;
}

bool isValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}
}  // namespace KVRDevRecords
