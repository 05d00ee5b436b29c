#pragma once
// The join handler's operations the dispatcher needs when users enter and leave and when the owner of
// the room changes. The join handler implements it; tests give a fake.
#include <cstdint>
#include <string>

class KVRConferenceRoomOps {
public:
    virtual ~KVRConferenceRoomOps() = default;
    // For the selected sub-room: fetches the user's record and adds it to the user list; true when a
    // record came. Any other sub-room: false.
    virtual bool remoteEnterRoom(const std::string& userID, int64_t subRoomNo) = 0;
    // Removes the user from the user list.
    virtual void remoteExitRoom(const std::string& userID, int64_t subRoomNo) = 0;
    // Fetches the sub-room's record from the server and stores it; false when the request failed.
    virtual bool refreshSubRoomInfo(int64_t subRoomNo) = 0;
    // Publishes the sub-room's new owner to the server; false when refused.
    virtual bool updateRoomOwner(const std::string& newOwnerID) = 0;
};
