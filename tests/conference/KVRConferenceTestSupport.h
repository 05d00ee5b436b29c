#pragma once
// Builders shared by the conference state tests: launch configurations, records written field by field,
// and the registry objects the state reads.
#include <memory>
#include <string>
#include <vector>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"

namespace kvrtest {
inline std::string join(const std::vector<std::string>& fields, char sep = '\x01') {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out += sep;
        out += fields[i];
    }
    return out;
}

inline std::shared_ptr<KVRConfig> useConfig(const std::string& launch) {
    auto config = std::make_shared<KVRConfig>();
    config->setData(launch);
    KVRGlobalData::sharedGlobalData()->setKvrcConfig(config);
    return config;
}

// The 11 fields of a sub-room record in wire order.
inline std::string roomRecord(const std::string& roomNo, const std::string& owner, const std::string& maxUsers) {
    return join({roomNo, owner, "captain", "2024-03-01", "Physics", "1", "pw", maxUsers, "5", "3", "pic.png"});
}

// The 17 fields of a user record in wire order.
inline std::string userRecord(const std::string& id, const std::string& userType, const std::string& alias = "Alias") {
    return join({id, "1", alias, "2", "Y", "N", "3", "4", "skip", "10.0.0.1", userType, "1.2.3.4", "7081",
                 "192.168.0.1", "", "", "2024-03-01 10:00:00"});
}

struct Room {
    std::shared_ptr<KVRSubroomList> rooms = std::make_shared<KVRSubroomList>();
    std::shared_ptr<KVRConferenceUserList> users = std::make_shared<KVRConferenceUserList>();
    std::shared_ptr<KVRCurrentConferenceInfo> state = std::make_shared<KVRCurrentConferenceInfo>();

    // Registers the objects; with an owner, the room of that owner and maximum is selected.
    explicit Room(const std::string& owner = "", int maxUsers = 9, int roomNo = 12) {
        auto* g = KVRGlobalData::sharedGlobalData();
        g->setSubroomList(rooms);
        g->setConferenceUserList(users);
        g->setCurrentConferenceInfo(state);
        if (!owner.empty()) rooms->setSelectedRoomInfo(roomRecord(std::to_string(roomNo), owner, std::to_string(maxUsers)));
    }
};
}  // namespace kvrtest
