#include "app/KVRLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"

namespace {

std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

struct Settings {
    std::string documents;
    KVRWallClock clock = kvrSystemClock();
    bool enabled = true;
};

Settings& settings() {
    static Settings s;
    return s;
}

// XDG_DOCUMENTS_DIR from the environment or user-dirs.dirs, else ~/Documents.
std::string xdgDocumentsFolder() {
    const char* home = std::getenv("HOME");
    std::string homeDir = home ? home : "/tmp";
    if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env && *env) return env;
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    std::string dirs = (cfg && *cfg ? std::string(cfg) : homeDir + "/.config") + "/user-dirs.dirs";
    std::ifstream in(dirs);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = homeDir + value.substr(5);
        if (!value.empty()) return value;
    }
    return homeDir + "/Documents";
}

std::string formatLocal(std::chrono::system_clock::time_point t, const char* fmt) {
    std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, fmt, &tm);
    return buf;
}

// The course key names the file; it comes from the launch URL, so a separator in it must not steer
// the file out of the log folder.
std::string filePrefix() {
    std::string prefix = "WEBP";
    if (auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig()) {
        if (auto cik = config->stringValue("CIK")) prefix = *cik;
    }
    for (char& c : prefix) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    return prefix;
}

std::string folderLocked() {
    const std::string& docs = settings().documents.empty() ? xdgDocumentsFolder() : settings().documents;
    return docs + "/kelvara_log";
}

std::string fileLocked(std::chrono::system_clock::time_point now) {
    return folderLocked() + "/" + filePrefix() + "_" + formatLocal(now, "%Y-%m-%d") + ".txt";
}

}  // namespace

void KVRLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        message.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);

    std::lock_guard lock(logMutex());
    if (!settings().enabled) return;
    auto now = settings().clock();
    std::string line = "[" + formatLocal(now, "%Y-%m-%d %H:%M:%S") + "] " + message + "\n";
    std::error_code ec;
    std::filesystem::create_directories(folderLocked(), ec);
    std::ofstream out(fileLocked(now), std::ios::binary | std::ios::app);
    if (out) out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

namespace KVRLogSettings {
void setDocumentsFolder(const std::string& folder) {
    std::lock_guard lock(logMutex());
    settings().documents = folder;
}
std::string documentsFolder() {
    std::lock_guard lock(logMutex());
    return settings().documents.empty() ? xdgDocumentsFolder() : settings().documents;
}
void setClock(KVRWallClock clock) {
    std::lock_guard lock(logMutex());
    settings().clock = std::move(clock);
}
void setEnabled(bool enabled) {
    std::lock_guard lock(logMutex());
    settings().enabled = enabled;
}
std::string currentLogFile() {
    std::lock_guard lock(logMutex());
    return fileLocked(settings().clock());
}
void reset() {
    std::lock_guard lock(logMutex());
    settings() = Settings{};
}
}  // namespace KVRLogSettings
