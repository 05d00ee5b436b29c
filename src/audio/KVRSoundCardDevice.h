#pragma once
// The process's sound devices: the lists, the user's chosen input and output, the mute switches the
// pipeline obeys, and the chosen devices' volume. Lists are fixed at creation. Capture and playback
// always use the system's default devices; the choice selects what the volume controls act on.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/KVRAudioBackend.h"

class KVRSoundCardDevice {
public:
    static constexpr const char* kConfigFileName = "kelvara_audio_config.txt";

    // Builds the lists from the back-end, sets the defaults and reads the configuration file from
    // `configFolder` (the private temporary folder when empty).
    explicit KVRSoundCardDevice(std::shared_ptr<KVRAudioBackend> backend, std::string configFolder = {});

    const std::shared_ptr<KVRAudioBackend>& audioBackend() const { return backend_; }

    bool isMicMute() const { return _isMicMute.load(); }
    void setMicMute(bool mute) { _isMicMute = mute; }
    bool isSpkMute() const { return _isSpkMute.load(); }
    void setSpkMute(bool mute) { _isSpkMute = mute; }

    bool isNotShowDeviceSetting() const { return _isNotShowDeviceSetting; }
    void setNotShowDeviceSetting(bool notShow);
    void setInfo(int64_t inputIndex, int64_t outputIndex);

    int64_t inputDeviceCount() const { return static_cast<int64_t>(inputDeviceList.size()); }
    int64_t outputDeviceCount() const { return static_cast<int64_t>(outputDeviceList.size()); }
    std::optional<std::string> inputDeviceName(int64_t index) const;
    std::optional<std::string> outputDeviceName(int64_t index) const;
    const std::vector<KVRAudioDeviceInfo>& inputDevices() const { return inputDeviceList; }
    const std::vector<KVRAudioDeviceInfo>& outputDevices() const { return outputDeviceList; }
    int64_t inputIndex() const { return _inputIndex; }
    int64_t outputIndex() const { return _outputIndex; }

    double getMicVolume() const;
    double getSpkVolume() const;
    void setMicVolume(double volume);
    void setSpkVolume(double volume);

    bool readConfig();
    bool writeConfig() const;
    std::string configPath() const;

private:
    double volumeOf(bool input) const;
    void setVolumeOf(bool input, double volume);

    std::shared_ptr<KVRAudioBackend> backend_;
    std::string configFolder_;
    std::vector<KVRAudioDeviceInfo> inputDeviceList, outputDeviceList;
    int64_t _inputIndex = 0, _outputIndex = 0;
    std::atomic<bool> _isMicMute{false}, _isSpkMute{false};
    bool _isNotShowDeviceSetting = false;
};
