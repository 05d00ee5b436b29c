#pragma once
// The users in the room, in the order they became known, at most one record per user ID.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conference/KVRConferenceUserInfo.h"

class KVRConferenceUserList {
public:
    // Empties the list, then adds every 0x02 piece with addUserEx. Returns the number of records kept.
    size_t setData(std::string_view text);
    // The text up to its first zero byte (a payload buffer), added with addUserEx.
    bool addUser(std::string_view zeroTerminated);
    // Parses one record and appends it when it parsed and its ID is not yet present (the first record of
    // an ID is kept).
    bool addUserEx(std::string_view text);
    // Removes the record of that ID; false when there was none.
    bool removeAtUser(const std::string& userID);

    size_t count() const;
    std::shared_ptr<KVRConferenceUserInfo> getAt(size_t index) const;  // null when out of range
    std::shared_ptr<KVRConferenceUserInfo> getAtByID(const std::string& userID) const;
    std::shared_ptr<KVRConferenceUserInfo> getObject(const std::string& userID) const;
    std::optional<std::string> getAlias(const std::string& userID) const;
    bool isExist(const std::string& userID) const;
    // The owner of the selected sub-room is in the list.
    bool isExistOwner() const;
    // The user type of that ID; -1 when the ID is not in the list.
    int64_t getUserType(const std::string& userID) const;
    // The first lecturer (user type 100, or the second lecturer role 103) in the list, or null.
    std::shared_ptr<KVRConferenceUserInfo> getSeminarVideoCtrlUserInfo() const;

    std::vector<std::shared_ptr<KVRConferenceUserInfo>> arrUserList() const;
    // The user list text the server sends: every record followed by 0x02.
    std::string getListText() const;

private:
    bool addParsed(KVRConferenceUserInfo::Data data);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<KVRConferenceUserInfo>> arrUserList_;
};
