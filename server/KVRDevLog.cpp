#include "KVRDevLog.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {
std::mutex gMutex;
std::deque<std::string> gLines;
bool gEcho = true;
constexpr size_t kKept = 1000;
}  // namespace

void KVRDevLog(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    std::lock_guard lock(gMutex);
    if (gEcho) std::fprintf(stderr, "kelvara-server: %s\n", buf);
    gLines.emplace_back(buf);
    if (gLines.size() > kKept) gLines.pop_front();
}

namespace KVRDevLogSettings {
void setEcho(bool echo) {
    std::lock_guard lock(gMutex);
    gEcho = echo;
}
std::vector<std::string> recentLines() {
    std::lock_guard lock(gMutex);
    return {gLines.begin(), gLines.end()};
}
bool contains(const std::string& text) {
    std::lock_guard lock(gMutex);
    for (const auto& l : gLines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}
void clear() {
    std::lock_guard lock(gMutex);
    gLines.clear();
}
}  // namespace KVRDevLogSettings
