#include "audio/KVRSoundCardControl.h"

#include <algorithm>

KVRSoundCardControl::KVRSoundCardControl(std::shared_ptr<KVRAudioBackend> backend, bool isInputDevice,
                                         std::string deviceID)
    : backend_(std::move(backend)), _isInputDevice(isInputDevice), _deviceID(std::move(deviceID)) {}

double KVRSoundCardControl::getVolume() const {
    if (!backend_) return 1.0;
    return backend_->volume(_isInputDevice, _deviceID).value_or(1.0);
}

void KVRSoundCardControl::setVolume(double volume) {
    if (backend_) backend_->setVolume(_isInputDevice, _deviceID, std::clamp(volume, 0.0, 1.0));
}
