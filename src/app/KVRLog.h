#pragma once
// The diagnostic log: one plain-text file per course and day under <documents>/kelvara_log, for support staff.
#include <string>

#include "platform/KVRClock.h"

// Formats like printf and appends "[yyyy-MM-dd HH:mm:ss] message\n" to the day's file. Never fails visibly;
// concurrent calls are serialised so that lines never interleave.
void KVRLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace KVRLogSettings {
// The documents folder the log folder goes into; defaults to the XDG documents folder.
void setDocumentsFolder(const std::string& folder);
std::string documentsFolder();
void setClock(KVRWallClock clock);
// Fuzzers switch the file writes off; the message is still formatted.
void setEnabled(bool enabled);
// The file the next line would go to (for tests and support).
std::string currentLogFile();
// Restores the defaults.
void reset();
}  // namespace KVRLogSettings
