// Conference state texts arrive from the server as the state reply and as alarms. The first byte picks
// the layout; whatever is accepted must publish a text that reads back to the same state.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        auto* g = KVRGlobalData::sharedGlobalData();
        auto config = std::make_shared<KVRConfig>();
        config->setData(" /UID:me /MID:lect /MST:9 /NTP:1");
        g->setKvrcConfig(config);
        auto rooms = std::make_shared<KVRSubroomList>();
        rooms->setSelectedRoomInfo("12\x01own\x01\x01\x01name\x01\x31\x01\x01\x39\x01\x35\x01\x33\x01");
        g->setSubroomList(rooms);
        return true;
    }();
    (void)once;
    if (size == 0) return 0;
    const bool isAlarm = data[0] & 1;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    KVRCurrentConferenceInfo state;
    if (!state.setCurrConfInfo(text, isAlarm)) return 0;
    (void)state.isClassLocAudioPermission();
    (void)state.isClassDocuemntDrawPermission();
    (void)state.zoomIndexFromValue();
    (void)state.getEnqueteValue();

    const std::string published = state.getInfo();
    auto alarm = KVRCurrentConferenceInfo::alarmLayoutFromPublished("sender", published);
    auto reply = KVRCurrentConferenceInfo::replyLayoutFromPublished(published);
    if (!alarm || !reply) __builtin_trap();
    KVRCurrentConferenceInfo fromAlarm, fromReply;
    if (!fromAlarm.setCurrConfInfo(*alarm, true) || !fromReply.setCurrConfInfo(*reply, false)) __builtin_trap();
    if (fromAlarm.getInfo() != published) __builtin_trap();
    return 0;
}
