#pragma once
// The main server's room and user state and the texts it sends for them. The sub-room and user records
// go through the client's own writers, so both sides share one layout.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct KVRDevUser {
    std::string userID;
    std::string passwordHash;
    std::string alias;
    int64_t gender = 0;
    int64_t userType = 0;
    int64_t loginStatus = 1;
    int64_t userStatus = 0;
    int64_t ctrlStatus = 0;
    std::string camFlag = "N", micFlag = "N", camCtrlFlag = "N";  // 'Y' or anything else
    std::string localIP, natIP, gatewayIP;
    int64_t natPort = 0;
    std::string loginTime;
};

struct KVRDevDocument {
    std::string owner, title, pageTitle, fileName;
    bool active = false;
};

struct KVRDevRoom {
    int64_t roomNo = 0;
    std::string key;  // the lecturer ID or course key it was created for
    std::string ownerID, captainID, speakerID, regDate, name, password, picturePath;
    int64_t roomStyle = 0, roomType = 0, maxUsers = 0;
    std::vector<std::string> members;  // in order of entry
    std::optional<std::string> confState;  // the published state record, without its closing 0x02
    std::vector<KVRDevDocument> documents;

    bool hasMember(std::string_view id) const;
};

namespace KVRDevRecords {
constexpr char kField = '\x01';
constexpr char kRecord = '\x02';
constexpr char kCommand = '\x04';

// The 11-field sub-room record, ended by 0x02.
std::string subRoomRecord(const KVRDevRoom& room);
// The 17-field user record, ended by 0x02.
std::string userRecord(const KVRDevUser& user);
// One shared document record (five fields, each followed by 0x01), without a record separator.
std::string documentRecord(const KVRDevDocument& doc);
// Reply to a conference state query: the published record less its leading sub-room number.
std::string confStateReply(const std::string& stored);
// Event 128: the owner, the publishing user, then the published record as it was sent.
std::string confStateAlarm(const std::string& ownerID, const std::string& senderID, const std::string& stored);

// The request's first record (up to the first 0x02) split at 0x01, empty pieces kept.
std::vector<std::string> requestFields(std::string_view payload);
// Strict decimal integer (optional minus sign); nothing for empty, junk or out of range.
std::optional<int64_t> parseInteger(std::string_view text);
bool isValidUtf8(std::string_view text);
}  // namespace KVRDevRecords
