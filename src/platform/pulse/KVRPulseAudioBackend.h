#pragma once
// The real sound system through libpulse (PulseAudio, or PipeWire's pulse server): one threaded main
// loop per back-end; streams are 8000 Hz mono s16le and callbacks run on the main loop's thread.
#include <memory>
#include <string>

#include "platform/KVRAudioBackend.h"

class KVRPulseAudioBackend : public KVRAudioBackend {
public:
    // Connects to the sound server ($PULSE_SERVER or the user's default); nothing when there is none.
    static std::shared_ptr<KVRPulseAudioBackend> create(const std::string& applicationName = "Kelvara");
    ~KVRPulseAudioBackend() override;

    std::vector<KVRAudioDeviceInfo> inputDevices() override;
    std::vector<KVRAudioDeviceInfo> outputDevices() override;
    std::optional<std::string> defaultInputDevice() override;
    std::optional<std::string> defaultOutputDevice() override;
    std::unique_ptr<KVRAudioStream> openInput(InputCallback callback) override;
    std::unique_ptr<KVRAudioStream> openOutput(OutputCallback callback) override;
    std::optional<double> volume(bool input, const std::string& identifier) override;
    bool setVolume(bool input, const std::string& identifier, double value) override;
    std::unique_ptr<KVRAudioStream> openPlayThrough(const std::string& inputIdentifier,
                                                    const std::string& outputIdentifier) override;

    // Streams on a named device (empty: the default).
    std::unique_ptr<KVRAudioStream> openInputOn(const std::string& device, InputCallback callback);
    std::unique_ptr<KVRAudioStream> openOutputOn(const std::string& device, OutputCallback callback);

    struct Impl;

private:
    KVRPulseAudioBackend() = default;
    std::shared_ptr<Impl> impl_;
};
