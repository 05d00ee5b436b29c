#include "app/KVRStrings.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "app/KVRResources.h"

namespace {
std::mutex mutex;
std::map<std::string, std::string> table;
bool loaded = false;

std::string localeLanguage() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            std::string s(v);
            auto cut = s.find_first_of("_.@");
            return s.substr(0, cut);
        }
    }
    return "en";
}

void parseInto(std::ifstream& in, std::map<std::string, std::string>& out) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string value = line.substr(eq + 1);
        // "\n" in the table stands for a line break in the shown text.
        for (size_t p = 0; (p = value.find("\\n", p)) != std::string::npos;) value.replace(p, 2, "\n");
        out[line.substr(0, eq)] = value;
    }
}
}  // namespace

void KVRStrings::loadFile(const std::string& path) {
    std::ifstream in(path);
    std::map<std::string, std::string> fresh;
    parseInto(in, fresh);
    std::lock_guard lock(mutex);
    for (auto& [k, v] : fresh) table[k] = v;
    loaded = true;
}

void KVRStrings::load(const std::string& language) {
    {
        std::lock_guard lock(mutex);
        table.clear();
    }
    loadFile(kvr::resourcePath("strings/en.txt"));
    std::string lang = language.empty() ? localeLanguage() : language;
    if (lang != "en" && lang != "C" && lang != "POSIX") loadFile(kvr::resourcePath("strings/" + lang + ".txt"));
}

std::string KVRStrings::text(const std::string& key) {
    {
        std::lock_guard lock(mutex);
        if (loaded) {
            auto it = table.find(key);
            return it == table.end() ? key : it->second;
        }
    }
    load();
    std::lock_guard lock(mutex);
    auto it = table.find(key);
    return it == table.end() ? key : it->second;
}
