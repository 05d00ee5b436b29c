#pragma once
// The development server's diagnostic lines: one line per event on stderr, prefixed so they stand out
// among the client's output, and the most recent ones kept for tests that assert a diagnostic was given.
#include <string>
#include <vector>

void KVRDevLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace KVRDevLogSettings {
// Off: lines are only kept, not printed (tests that feed floods of garbage).
void setEcho(bool echo);
// The kept lines, oldest first (at most the last 1000).
std::vector<std::string> recentLines();
// Whether any kept line contains `text`.
bool contains(const std::string& text);
void clear();
}  // namespace KVRDevLogSettings
