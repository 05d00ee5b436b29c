#include "video/KVRCameraDevice.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"

std::optional<std::string> KVRCameraInfo::format(size_t index) const {
    if (index >= arrSupportefFormat.size()) return std::nullopt;
    return arrSupportefFormat[index];
}

std::optional<std::pair<int64_t, int64_t>> KVRCameraInfo::parseFormat(const std::string& text) {
    auto parts = kvr::split(text, "x");
    if (parts.size() < 2) return std::nullopt;
    return std::make_pair(kvr::leadingInteger(parts[0]), kvr::leadingInteger(parts[1]));
}

uint32_t KVRCameraInfo::formatWORD(size_t index) const {
    auto text = format(index);
    if (!text) return 0;
    auto size = parseFormat(*text);
    if (!size) return 0;
    return (static_cast<uint32_t>(size->second & 0xffff) << 16) | static_cast<uint32_t>(size->first & 0xffff);
}

KVRCameraDevice::KVRCameraDevice(const std::vector<KVRCameraDescription>& cameras,
                                 std::optional<std::string> configPath) {
    for (const auto& cam : cameras) {
        KVRCameraInfo info;
        info.setName(cam.name);
        for (const auto& f : cam.formats) info.addFormat(std::to_string(f.width) + " x " + std::to_string(f.height));
        arrCameraList.push_back(std::move(info));
    }
    if (configPath) {
        configPath_ = *configPath;
    } else if (auto folder = KVRGlobalData::getLocalDocumentTempFolder()) {
        configPath_ = *folder + kConfigFileName;
    }
    readConfig();
}

std::optional<KVRCameraInfo> KVRCameraDevice::getAt(int64_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= arrCameraList.size()) return std::nullopt;
    return arrCameraList[static_cast<size_t>(index)];
}

std::string KVRCameraDevice::formatConfig(int64_t index, int64_t width, int64_t height, int64_t fps) {
    char text[128];
    std::snprintf(text, sizeof text, "%ld|%ld|%ld|%ld|", static_cast<long>(index), static_cast<long>(width),
                  static_cast<long>(height), static_cast<long>(fps));
    return text;
}

void KVRCameraDevice::readConfig() {
    if (configPath_.empty()) return;
    std::ifstream in(configPath_, std::ios::binary);
    if (!in) return;
    std::stringstream ss;
    ss << in.rdbuf();
    // A settings file is tiny; anything else is not ours.
    std::string text = ss.str().substr(0, 256);
    auto parts = kvr::split(text, "|");
    std::lock_guard lock(mutex_);
    int64_t* fields[] = {&camIndex_, &camWidth_, &camHeight_, &camFPS_};
    // The empty text after a final "|" is not a value ("0|320|240|" has three).
    size_t values = parts.size();
    if (values > 0 && kvr::trim(parts.back()).empty()) --values;
    for (size_t i = 0; i < 4 && i < values; ++i) *fields[i] = kvr::leadingInteger(parts[i]);
}

void KVRCameraDevice::writeConfig() {
    if (configPath_.empty()) return;
    std::string content;
    {
        std::lock_guard lock(mutex_);
        content = formatConfig(camIndex_, camWidth_, camHeight_, camFPS_);
    }
    // Written beside the target and renamed over it, so a reader never sees half a file.
    const std::string temp = configPath_ + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            KVRLog("camera settings: cannot write %s", temp.c_str());
            return;
        }
        out << content;
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return;
        }
    }
    if (std::rename(temp.c_str(), configPath_.c_str()) != 0) {
        KVRLog("camera settings: cannot replace %s", configPath_.c_str());
        std::remove(temp.c_str());
    }
}

void KVRCameraDevice::setInfo(int64_t index, int64_t width, int64_t height, int64_t fps) {
    {
        std::lock_guard lock(mutex_);
        camIndex_ = index;
        camWidth_ = width;
        camHeight_ = height;
        camFPS_ = fps;
    }
    writeConfig();
}

void KVRCameraDevice::setInfoRes(int64_t index, int64_t resIndex, int64_t fps) {
    {
        std::lock_guard lock(mutex_);
        camIndex_ = index;
        camFPS_ = fps;
        if (index >= 0 && static_cast<size_t>(index) < arrCameraList.size() && resIndex >= 0) {
            if (auto text = arrCameraList[static_cast<size_t>(index)].format(static_cast<size_t>(resIndex))) {
                if (auto size = KVRCameraInfo::parseFormat(*text)) {
                    camWidth_ = size->first;
                    camHeight_ = size->second;
                }
            }
        }
    }
    writeConfig();
}

void KVRCameraDevice::pauseVideo(bool pause) {
    std::lock_guard lock(mutex_);
    pauseVideo_ = pause;
}
void KVRCameraDevice::tooglePauseVideo() {
    std::lock_guard lock(mutex_);
    pauseVideo_ = !pauseVideo_;
}
bool KVRCameraDevice::isPauseVideo() const {
    std::lock_guard lock(mutex_);
    return pauseVideo_;
}
int64_t KVRCameraDevice::camIndex() const {
    std::lock_guard lock(mutex_);
    return camIndex_;
}
int64_t KVRCameraDevice::camWidth() const {
    std::lock_guard lock(mutex_);
    return camWidth_;
}
int64_t KVRCameraDevice::camHeight() const {
    std::lock_guard lock(mutex_);
    return camHeight_;
}
int64_t KVRCameraDevice::camFPS() const {
    std::lock_guard lock(mutex_);
    return camFPS_;
}
int64_t KVRCameraDevice::chosenCamera() const {
    std::lock_guard lock(mutex_);
    if (arrCameraList.empty()) return -1;
    if (camIndex_ >= 0 && static_cast<size_t>(camIndex_) < arrCameraList.size()) return camIndex_;
    return 0;
}
