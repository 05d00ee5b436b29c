#pragma once
// A deterministic sound card for tests and the bot: inputs are fed by a generator (tone, speech-like
// signal, silence), outputs are mixed into one stream that is kept in memory and can be written to a
// WAV file. Time moves either by tick() (tests) or by a real-time pacing thread (bot, benchmarks).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/KVRAudioBackend.h"

class KVRSyntheticAudioBackend : public KVRAudioBackend {
public:
    // Fills `count` samples of the frame with index `frameIndex` (20 ms frames since the stream opened).
    using Generator = std::function<void(int16_t* samples, size_t count, uint64_t frameIndex)>;
    // Sees each mixed output frame after it was played (on the pacing thread).
    using PlaybackTap = std::function<void(const int16_t* samples, size_t count)>;

    static Generator tone(double hz, double amplitude = 0.5);
    // Voiced bursts with pauses: harmonics of a wandering pitch under a syllable-rate envelope.
    static Generator speechLike(uint32_t seed = 1);
    static Generator silence();

    explicit KVRSyntheticAudioBackend(Generator input = silence());
    ~KVRSyntheticAudioBackend() override;

    void setInputGenerator(Generator generator);
    // Makes the next opens fail, as a sound system without devices would.
    void setFailOpen(bool fail) { failOpen_ = fail; }

    // Moves time by `frames` 20 ms frames: each open input delivers one frame, each open output plays one.
    void tick(int frames = 1);
    // Real-time pacing: tick every 20 ms on a thread of its own until stopRealTime.
    void startRealTime();
    void stopRealTime();

    // Everything the outputs have played, mixed, since the last clear.
    std::vector<int16_t> playedSamples() const;
    void clearPlayed();
    // Keeps no samples in memory (long runs that only write a file or use the tap).
    void setKeepPlayed(bool keep);
    void setPlaybackTap(PlaybackTap tap);
    // Writes the mixed output to a 16-bit mono 8000 Hz WAV file as it is played; false when unopenable.
    bool recordToWave(const std::string& path);
    void closeWave();

    size_t openInputCount() const;
    size_t openOutputCount() const;
    uint64_t ticks() const;

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

private:
    struct Core;
    class Stream;
    std::unique_ptr<KVRAudioStream> add(int kind, InputCallback input, OutputCallback output);

    // Shared with the streams, so a stream outliving its back-end stays harmless.
    std::shared_ptr<Core> core_;
    std::atomic<bool> failOpen_{false};
    std::thread pacer_;
    std::mutex pacerMutex_;
    std::condition_variable pacerWake_;
    bool pacerRun_ = false;
};
