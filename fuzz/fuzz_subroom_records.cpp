// Sub-room records arrive from the server during the join and in room updates. Whatever is accepted
// must write a text that reads back to the same records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/KVRLog.h"
#include "conference/KVRSubroomInfo.h"
#include "conference/KVRSubroomList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        return true;
    }();
    (void)once;
    std::string text(reinterpret_cast<const char*>(data), size);

    KVRSubroomList list;
    list.setData(text);
    list.setSelectedRoomInfo(text);
    list.updateSubRoomInfo(text);
    (void)list.getSelectedSubRoomNo();
    (void)list.getMaxUserCount();
    list.updateUserCount(list.getSelectedSubRoomNo(), 1);

    const std::string listText = list.getListText();
    KVRSubroomList copy;
    if (copy.setData(listText) != list.arrSubroomList().size() || copy.getListText() != listText) __builtin_trap();
    return 0;
}
