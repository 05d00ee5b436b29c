#pragma once
// One device in one direction, made for a single volume read or write.
#include <memory>
#include <string>

#include "platform/KVRAudioBackend.h"

class KVRSoundCardControl {
public:
    KVRSoundCardControl(std::shared_ptr<KVRAudioBackend> backend, bool isInputDevice, std::string deviceID);

    // 1.0 when the device has no readable volume in this direction.
    double getVolume() const;
    // Clamped to 0.0..1.0; a device without a settable volume keeps its own.
    void setVolume(double volume);

private:
    std::shared_ptr<KVRAudioBackend> backend_;
    bool _isInputDevice;
    std::string _deviceID;
};
