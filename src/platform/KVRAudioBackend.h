#pragma once
// The sound system as the audio pipeline sees it: 8000 Hz mono signed 16-bit little-endian streams in
// 20 ms frames of 320 bytes, device lists, default devices, device volume and a play-through monitor.
// Callbacks run on the back-end's own threads; a stream's destructor (or stop) returns only once its
// callback can no longer run.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct KVRAudioDeviceInfo {
    std::string name;        // human-readable, at most 63 bytes of UTF-8
    std::string identifier;  // stable identifier the back-end opens and sets volumes by
    uint32_t deviceID = 0;   // the back-end's numeric index
};

class KVRAudioStream {
public:
    virtual ~KVRAudioStream() = default;
    // Stops the stream at once; idempotent.
    virtual void stop() = 0;
};

class KVRAudioBackend {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr size_t kFrameBytes = 320;

    // One captured frame of exactly kFrameBytes.
    using InputCallback = std::function<void(const uint8_t* data, size_t size)>;
    // Asked for the next stretch of output: append a whole number of frames (at least one) to `buffer`.
    using OutputCallback = std::function<void(std::vector<uint8_t>& buffer)>;

    virtual ~KVRAudioBackend() = default;

    virtual std::vector<KVRAudioDeviceInfo> inputDevices() = 0;
    virtual std::vector<KVRAudioDeviceInfo> outputDevices() = 0;
    virtual std::optional<std::string> defaultInputDevice() = 0;
    virtual std::optional<std::string> defaultOutputDevice() = 0;

    // Streams on the default device; nothing when the sound system refuses.
    virtual std::unique_ptr<KVRAudioStream> openInput(InputCallback callback) = 0;
    virtual std::unique_ptr<KVRAudioStream> openOutput(OutputCallback callback) = 0;

    // Volume 0.0..1.0 of a device in one direction; nothing (get) or false (set) when unknown.
    virtual std::optional<double> volume(bool input, const std::string& identifier) = 0;
    virtual bool setVolume(bool input, const std::string& identifier, double value) = 0;

    // Plays one input device on one output device until stopped; nothing when it cannot be set up.
    virtual std::unique_ptr<KVRAudioStream> openPlayThrough(const std::string& inputIdentifier,
                                                            const std::string& outputIdentifier) = 0;
};
