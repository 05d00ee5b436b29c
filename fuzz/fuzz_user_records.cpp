// User records and user lists arrive from the server in the list reply and the per-user reply. Whatever
// is accepted must write a text that reads back to the same records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/KVRLog.h"
#include "conference/KVRConferenceUserInfo.h"
#include "conference/KVRConferenceUserList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        return true;
    }();
    (void)once;
    std::string text(reinterpret_cast<const char*>(data), size);

    if (auto record = KVRConferenceUserInfo::parse(text)) {
        auto written = KVRConferenceUserInfo::toRecord(*record);
        auto again = KVRConferenceUserInfo::parse(written);
        if (!again || KVRConferenceUserInfo::toRecord(*again) != written) __builtin_trap();
    }

    KVRConferenceUserList list;
    list.setData(text);
    list.addUser(text);
    for (size_t i = 0; i < list.count(); ++i) {
        auto u = list.getAt(i);
        if (!u || list.getAtByID(u->userID()) != u) __builtin_trap();
        (void)list.getAlias(u->userID());
    }
    const std::string listText = list.getListText();
    KVRConferenceUserList copy;
    if (copy.setData(listText) != list.count() || copy.getListText() != listText) __builtin_trap();
    return 0;
}
