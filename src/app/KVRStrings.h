#pragma once
// The strings table: user-visible texts by key (IDS_...), looked up when shown. A key without an entry
// shows unchanged.
#include <string>

class KVRStrings {
public:
    static std::string text(const std::string& key);
    // Loads resources/strings/<lang>.txt for the locale's language, English where there is none.
    static void load(const std::string& language = {});
    static void loadFile(const std::string& path);
};
