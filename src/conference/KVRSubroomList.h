#pragma once
// The sub-room list: the records the server sent, of which the room the client is in is the selected one.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "conference/KVRSubroomInfo.h"

class KVRSubroomList {
public:
    // Replaces the list by the records of a list text (records separated by 0x02); pieces that do not
    // parse are logged and skipped. Returns the number of records kept.
    size_t setData(std::string_view text);
    // Parses one record, marks it selected and appends it; true when it parsed.
    bool setSelectedRoomInfo(std::string_view text);
    // Copies the first record of the text into the known record of the same room number.
    bool updateSubRoomInfo(std::string_view text);

    // The room number of the last selected record; -1 when none is selected.
    int64_t getSelectedSubRoomNo() const;
    // Marks the known record of that room number selected (others keep their selection); false when the
    // number is not known.
    bool setSelectedSubRoomNo(int64_t roomNo);
    // The first selected record, or null.
    std::shared_ptr<KVRSubroomInfo> getSelectedSubRoomInfo() const;
    std::shared_ptr<KVRSubroomInfo> getSelectedSubRoomObject() const;
    std::shared_ptr<KVRSubroomInfo> getSubRoomObject(int64_t roomNo) const;

    // On the first selected record; empty / 0 / nothing when none is selected.
    std::string getOwnerID() const;
    void setOwnerID(const std::string& ownerID);
    int64_t getMaxUserCount() const;
    void setMaxUserCount(int64_t count);

    // The number of records in the list.
    int64_t getCurrentUserCount() const;
    // The own user (launch parameter UID) / the given ID owns the selected room. An unknown owner owns
    // nothing, so an empty ID never matches.
    bool isOwner() const;
    bool isOwner(const std::string& userID) const;
    // Adds the offset to that room's current user count; false when the room is not known.
    bool updateUserCount(int64_t roomNo, int64_t offset);

    std::vector<std::shared_ptr<KVRSubroomInfo>> arrSubroomList() const;
    // The list text the server sends: every record followed by 0x02.
    std::string getListText() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<KVRSubroomInfo>> arrSubroomList_;
};
