#include "app/KVRWebParameterParser.h"

#include <array>
#include <map>

#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"

namespace {

// Template order: configuration key and the query key whose value fills it.
struct Slot {
    const char* configKey;
    const char* queryKey;
};
constexpr std::array<Slot, 28> kTemplate{{
    {"LID", "language"},      {"PID", "ProductID"},    {"PTP", "ProductType"}, {"CAP", "ProductTitle"},
    {"MSP", "MainServerPort"}, {"FSP", "FileServerPort"}, {"UID", "UserID"},    {"ALS", "name"},
    {"MID", "TeacherID"},     {"RNM", "roomname"},     {"MAX", "maxuser"},     {"SIP", "ServerIP"},
    {"SID", "UserID"},        {"TID", "TeacherID"},    {"TIK", "TeacherIDKey"}, {"SIK", "IDKey"},
    {"NTP", "IsTeacher"},     {"CIK", "CourseIDKey"},  {"ROT", "RoomOpenTime"}, {"RCT", "RoomCloseTime"},
    {"VUL", "ViewRoom"},      {"RTP", "Rectype"},      {"LUL", "LogoURL"},     {"GUL", "GuideURL"},
    {"MST", "RoomType"},      {"UDK", "UpdaterKey"},   {"SRP", "IsStudentRecord"}, {"RQT", "RecQuality"},
}};

bool isRecognised(const std::string& key) {
    if (key == "monitor") return true;
    for (const auto& s : kTemplate) {
        if (key == s.queryKey) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> KVRWebParameterParser::parsing(const std::string& text) {
    auto pieces = kvr::split(text, "?");
    if (pieces.size() < 2) return std::nullopt;
    const std::string& query = pieces[1];

    KVRLog("%s", std::string(90, '=').c_str());
    std::map<std::string, std::string> values;
    for (const auto& piece : kvr::split(query, "&")) {
        KVRLog("Web parameter : %s", piece.c_str());
        auto parts = kvr::split(piece, "=");
        if (parts.size() < 2) continue;
        if (isRecognised(parts[0])) values[parts[0]] = parts[1];
    }
    if (!values.count("UpdaterKey")) return std::nullopt;
    values.erase("monitor");
    if (!values.count("IsStudentRecord")) values["IsStudentRecord"] = "0";
    if (!values.count("RecQuality")) values["RecQuality"] = "100";

    std::string out;
    for (const auto& s : kTemplate) {
        out += " /";
        out += s.configKey;
        out += std::string(s.configKey) == "NTP" ? ": " : ":";
        auto it = values.find(s.queryKey);
        out += it == values.end() ? "(null)" : it->second;
    }
    return out;
}
