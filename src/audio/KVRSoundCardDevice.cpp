#include "audio/KVRSoundCardDevice.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRTextSplit.h"
#include "audio/KVRSoundCardControl.h"

KVRSoundCardDevice::KVRSoundCardDevice(std::shared_ptr<KVRAudioBackend> backend, std::string configFolder)
    : backend_(std::move(backend)), configFolder_(std::move(configFolder)) {
    if (backend_) {
        inputDeviceList = backend_->inputDevices();
        outputDeviceList = backend_->outputDevices();
    }
    readConfig();
}

std::string KVRSoundCardDevice::configPath() const {
    std::string folder = configFolder_;
    if (folder.empty()) folder = KVRGlobalData::getLocalDocumentTempFolder().value_or("");
    if (folder.empty()) return {};
    if (folder.back() != '/') folder += '/';
    return folder + kConfigFileName;
}

void KVRSoundCardDevice::setNotShowDeviceSetting(bool notShow) {
    _isNotShowDeviceSetting = notShow;
    writeConfig();
}

void KVRSoundCardDevice::setInfo(int64_t inputIndex, int64_t outputIndex) {
    _inputIndex = inputIndex;
    _outputIndex = outputIndex;
    writeConfig();
}

std::optional<std::string> KVRSoundCardDevice::inputDeviceName(int64_t index) const {
    if (index < 0 || index >= inputDeviceCount()) return std::nullopt;
    return inputDeviceList[static_cast<size_t>(index)].name;
}

std::optional<std::string> KVRSoundCardDevice::outputDeviceName(int64_t index) const {
    if (index < 0 || index >= outputDeviceCount()) return std::nullopt;
    return outputDeviceList[static_cast<size_t>(index)].name;
}

double KVRSoundCardDevice::volumeOf(bool input) const {
    const auto& list = input ? inputDeviceList : outputDeviceList;
    const int64_t index = input ? _inputIndex : _outputIndex;
    if (index < 0 || index >= static_cast<int64_t>(list.size())) return 1.0;
    return KVRSoundCardControl(backend_, input, list[static_cast<size_t>(index)].identifier).getVolume();
}

void KVRSoundCardDevice::setVolumeOf(bool input, double volume) {
    const auto& list = input ? inputDeviceList : outputDeviceList;
    const int64_t index = input ? _inputIndex : _outputIndex;
    if (index < 0 || index >= static_cast<int64_t>(list.size())) return;
    KVRSoundCardControl(backend_, input, list[static_cast<size_t>(index)].identifier).setVolume(volume);
}

double KVRSoundCardDevice::getMicVolume() const { return volumeOf(true); }
double KVRSoundCardDevice::getSpkVolume() const { return volumeOf(false); }
void KVRSoundCardDevice::setMicVolume(double volume) { setVolumeOf(true, volume); }
void KVRSoundCardDevice::setSpkVolume(double volume) { setVolumeOf(false, volume); }

bool KVRSoundCardDevice::readConfig() {
    const std::string path = configPath();
    if (path.empty()) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // The file is one short line; anything longer is not ours.
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    auto pieces = kvr::split(text, "|");
    if (pieces.size() > 0 && !kvr::trim(pieces[0]).empty()) _inputIndex = kvr::leadingInteger(kvr::trim(pieces[0]));
    if (pieces.size() > 1 && !kvr::trim(pieces[1]).empty()) _outputIndex = kvr::leadingInteger(kvr::trim(pieces[1]));
    if (pieces.size() > 2) {
        auto flag = kvr::trim(pieces[2]);
        _isNotShowDeviceSetting = !flag.empty() && (kvr::leadingInteger(flag) != 0 || flag[0] == 'Y' ||
                                                    flag[0] == 'y' || flag[0] == 'T' || flag[0] == 't');
    }
    return true;
}

bool KVRSoundCardDevice::writeConfig() const {
    const std::string path = configPath();
    if (path.empty()) return false;
    char line[80];
    std::snprintf(line, sizeof line, "%ld|%ld|%d|", static_cast<long>(_inputIndex), static_cast<long>(_outputIndex),
                  _isNotShowDeviceSetting ? 1 : 0);
    // Written beside the file and renamed over it, so a crash never leaves half a file.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << line;
        out.flush();
        if (!out) {
            KVRLog("Audio settings not written : %s", temp.c_str());
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        KVRLog("Audio settings not written : %s (%s)", path.c_str(), ec.message().c_str());
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}
