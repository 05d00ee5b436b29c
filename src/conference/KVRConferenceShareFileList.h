#pragma once
// The log of files the user shared on the board during the lecture, reported to the learning portal.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/KVRClock.h"

struct KVRConferenceShareFileInfo {
    int64_t _action = 0;
    int64_t _filetype = 0;
    std::chrono::system_clock::time_point _logTime{};
    std::string _filename;  // full path
};

class KVRConferenceShareFileList {
public:
    explicit KVRConferenceShareFileList(KVRWallClock clock = kvrSystemClock()) : clock_(std::move(clock)) {}

    // Appends a record stamped with the current date.
    void addLog(int64_t action, int64_t filetype, const std::string& filename);
    // Every logged path, in order.
    std::vector<std::string> getShareFiles() const;
    // The last path components of the files logged inside the lecture window, each followed by ",".
    std::string getShareFileString() const;

    std::vector<KVRConferenceShareFileInfo> arrLogList() const;

private:
    KVRWallClock clock_;
    mutable std::mutex mutex_;
    std::vector<KVRConferenceShareFileInfo> arrLogList_;
};
