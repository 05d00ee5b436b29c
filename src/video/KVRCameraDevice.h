#pragma once
// The cameras on the machine and the user's choice of camera, capture size and frame rate, kept in
// "kelvara_camera_config.txt". Read on any thread; changed on the main thread.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/KVRCameraBackend.h"
#include "video/KVRCameraInfo.h"

class KVRCameraDevice {
public:
    static constexpr const char* kConfigFileName = "kelvara_camera_config.txt";

    // `cameras` is the platform's device list, read once. `configPath` defaults to the file in the
    // per-user temporary folder.
    explicit KVRCameraDevice(const std::vector<KVRCameraDescription>& cameras,
                             std::optional<std::string> configPath = std::nullopt);

    size_t count() const { return arrCameraList.size(); }
    std::optional<KVRCameraInfo> getAt(int64_t index) const;

    void readConfig();
    void writeConfig();
    void setInfo(int64_t index, int64_t width, int64_t height, int64_t fps);
    // Width and height from the camera's format list entry `resIndex` (left unchanged when it does not exist).
    void setInfoRes(int64_t index, int64_t resIndex, int64_t fps);

    void pauseVideo(bool pause);
    void tooglePauseVideo();
    bool isPauseVideo() const;

    int64_t camIndex() const;
    int64_t camWidth() const;
    int64_t camHeight() const;
    int64_t camFPS() const;
    // The camera to capture from: camIndex when it names a listed camera, else the first; −1 without any.
    int64_t chosenCamera() const;
    const std::string& configPath() const { return configPath_; }

    // The file's content for the four values ("%ld|%ld|%ld|%ld|"), and its reading.
    static std::string formatConfig(int64_t index, int64_t width, int64_t height, int64_t fps);

private:
    std::vector<KVRCameraInfo> arrCameraList;
    std::string configPath_;
    mutable std::mutex mutex_;
    bool pauseVideo_ = false;
    int64_t camIndex_ = -1;
    int64_t camWidth_ = 160;
    int64_t camHeight_ = 120;
    int64_t camFPS_ = 5;
};
