#include "conference/KVRConferenceShareFileList.h"

#include <filesystem>
#include <memory>

#include "app/KVRConferenceTime.h"
#include "app/KVRGlobalData.h"

void KVRConferenceShareFileList::addLog(int64_t action, int64_t filetype, const std::string& filename) {
    KVRConferenceShareFileInfo info{action, filetype, clock_(), filename};
    std::lock_guard lock(mutex_);
    arrLogList_.push_back(std::move(info));
}

std::vector<std::string> KVRConferenceShareFileList::getShareFiles() const {
    std::vector<std::string> out;
    for (const auto& info : arrLogList()) out.push_back(info._filename);
    return out;
}

std::string KVRConferenceShareFileList::getShareFileString() const {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto time = g->conferenceTime();
    if (!time) {
        // The window is a question of the launch parameters alone, so a clock made from them answers it.
        auto config = g->kvrcConfig();
        if (!config) return {};
        time = std::make_shared<KVRConferenceTime>(config, nullptr);
    }
    std::string out;
    for (const auto& info : arrLogList()) {
        if (!time->isLectureTime(info._logTime)) continue;
        out += std::filesystem::path(info._filename).filename().string();
        out += ",";
    }
    return out;
}

std::vector<KVRConferenceShareFileInfo> KVRConferenceShareFileList::arrLogList() const {
    std::lock_guard lock(mutex_);
    return arrLogList_;
}
