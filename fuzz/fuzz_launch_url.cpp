// Launch URLs come from whatever page or program opens the client's scheme: decode, parse and store
// them, and read every key back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/KVRAppDelegate.h"
#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        return true;
    }();
    (void)once;
    static KVRConfig config;
    std::string url(reinterpret_cast<const char*>(data), size);
    if (auto decoded = KVRAppDelegate::decodeLaunchUrl(url)) {
        if (config.setWebData(*decoded)) {
            for (const auto& [key, value] : config.arrConfig()) {
                (void)config.stringValue(key);
                (void)config.integerValue(key);
            }
            (void)config.getUserType();
        }
    }
    return 0;
}
