#include "platform/synthetic/KVRSyntheticAudioBackend.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>

namespace {
constexpr size_t kFrameSamples = KVRAudioBackend::kFrameBytes / 2;
enum Kind { kInput, kOutput, kPlayThrough };
}  // namespace

struct KVRSyntheticAudioBackend::Core {
    struct Entry {
        int kind = kInput;
        InputCallback input;
        OutputCallback output;
        std::vector<uint8_t> pending;  // output handed over but not yet played
        uint64_t frames = 0;
    };
    // Recursive: a callback may open or close streams of this back-end.
    std::recursive_mutex mutex;
    std::map<uint64_t, Entry> streams;
    uint64_t nextId = 1;
    Generator generator;
    std::vector<int16_t> played;
    bool keepPlayed = true;
    PlaybackTap tap;
    SNDFILE* wave = nullptr;
    std::map<std::string, double> volumes;
    uint64_t ticks = 0;

    void tick() {
        std::lock_guard lock(mutex);
        int32_t mix[kFrameSamples] = {};
        int16_t frame[kFrameSamples];
        // Copy the ids first: a callback may remove its own stream.
        std::vector<uint64_t> ids;
        for (auto& [id, e] : streams) ids.push_back(id);
        for (uint64_t id : ids) {
            auto it = streams.find(id);
            if (it == streams.end()) continue;
            Entry& e = it->second;
            if (e.kind == kInput || e.kind == kPlayThrough) {
                std::fill(std::begin(frame), std::end(frame), int16_t{0});
                if (generator) generator(frame, kFrameSamples, e.frames);
                ++e.frames;
                if (e.kind == kPlayThrough) {
                    for (size_t i = 0; i < kFrameSamples; ++i) mix[i] += frame[i];
                    continue;
                }
                uint8_t bytes[kFrameBytes];
                for (size_t i = 0; i < kFrameSamples; ++i) {
                    auto v = static_cast<uint16_t>(frame[i]);
                    bytes[2 * i] = static_cast<uint8_t>(v);
                    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
                }
                auto cb = e.input;
                cb(bytes, kFrameBytes);
            } else {
                if (e.pending.size() < kFrameBytes) {
                    std::vector<uint8_t> more;
                    auto cb = e.output;
                    cb(more);
                    it = streams.find(id);
                    if (it == streams.end()) continue;
                    // A short answer is padded to a whole frame; the contract asks for whole frames.
                    if (more.size() % kFrameBytes) more.resize(more.size() + kFrameBytes - more.size() % kFrameBytes, 0);
                    it->second.pending.insert(it->second.pending.end(), more.begin(), more.end());
                }
                Entry& out = it->second;
                if (out.pending.size() >= kFrameBytes) {
                    for (size_t i = 0; i < kFrameSamples; ++i)
                        mix[i] += static_cast<int16_t>(out.pending[2 * i] | (out.pending[2 * i + 1] << 8));
                    out.pending.erase(out.pending.begin(), out.pending.begin() + kFrameBytes);
                }
                ++out.frames;
            }
        }
        for (size_t i = 0; i < kFrameSamples; ++i) frame[i] = static_cast<int16_t>(std::clamp(mix[i], -32768, 32767));
        if (keepPlayed) played.insert(played.end(), std::begin(frame), std::end(frame));
        if (wave) sf_write_short(wave, frame, kFrameSamples);
        if (tap) tap(frame, kFrameSamples);
        ++ticks;
    }
};

class KVRSyntheticAudioBackend::Stream : public KVRAudioStream {
public:
    Stream(std::weak_ptr<Core> core, uint64_t id) : core_(std::move(core)), id_(id) {}
    ~Stream() override { stop(); }
    void stop() override {
        if (auto core = core_.lock()) {
            std::lock_guard lock(core->mutex);
            core->streams.erase(id_);
        }
        core_.reset();
    }

private:
    std::weak_ptr<Core> core_;
    uint64_t id_;
};

KVRSyntheticAudioBackend::Generator KVRSyntheticAudioBackend::tone(double hz, double amplitude) {
    return [hz, amplitude](int16_t* s, size_t n, uint64_t frame) {
        for (size_t i = 0; i < n; ++i) {
            double t = static_cast<double>(frame * n + i) / kSampleRate;
            s[i] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2 * std::numbers::pi * hz * t)));
        }
    };
}

KVRSyntheticAudioBackend::Generator KVRSyntheticAudioBackend::speechLike(uint32_t seed) {
    struct State {
        std::mt19937 rng;
        double phase = 0, pitch = 140;
    };
    auto st = std::make_shared<State>();
    st->rng.seed(seed);
    return [st](int16_t* s, size_t n, uint64_t frame) {
        // 4 syllables a second, one in five frames of a syllable cycle silent.
        const double env = (frame % 12) < 9 ? std::sin(std::numbers::pi * static_cast<double>(frame % 12) / 9.0) : 0.0;
        std::uniform_real_distribution<double> drift(-3, 3), noise(-0.03, 0.03);
        st->pitch = std::clamp(st->pitch + drift(st->rng), 90.0, 220.0);
        for (size_t i = 0; i < n; ++i) {
            st->phase += 2 * std::numbers::pi * st->pitch / kSampleRate;
            double v = 0;
            for (int h = 1; h <= 6; ++h) v += std::sin(h * st->phase) / h;
            v = env * 0.35 * v + noise(st->rng) * env;
            s[i] = static_cast<int16_t>(std::clamp(v, -1.0, 1.0) * 32767.0);
        }
        st->phase = std::fmod(st->phase, 2 * std::numbers::pi * 1000);
    };
}

KVRSyntheticAudioBackend::Generator KVRSyntheticAudioBackend::silence() {
    return [](int16_t* s, size_t n, uint64_t) { std::fill(s, s + n, int16_t{0}); };
}

KVRSyntheticAudioBackend::KVRSyntheticAudioBackend(Generator input) : core_(std::make_shared<Core>()) {
    core_->generator = std::move(input);
    core_->volumes = {{"synthetic_in", 1.0}, {"synthetic_in2", 1.0}, {"synthetic_out", 1.0}, {"synthetic_out2", 1.0}};
}

KVRSyntheticAudioBackend::~KVRSyntheticAudioBackend() {
    stopRealTime();
    closeWave();
}

void KVRSyntheticAudioBackend::setInputGenerator(Generator generator) {
    std::lock_guard lock(core_->mutex);
    core_->generator = std::move(generator);
}

void KVRSyntheticAudioBackend::tick(int frames) {
    for (int i = 0; i < frames; ++i) core_->tick();
}

void KVRSyntheticAudioBackend::startRealTime() {
    std::lock_guard lock(pacerMutex_);
    if (pacerRun_) return;
    pacerRun_ = true;
    pacer_ = std::thread([this] {
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(pacerMutex_);
        while (pacerRun_) {
            next += std::chrono::milliseconds(20);
            lock.unlock();
            core_->tick();
            lock.lock();
            pacerWake_.wait_until(lock, next, [this] { return !pacerRun_; });
        }
    });
}

void KVRSyntheticAudioBackend::stopRealTime() {
    {
        std::lock_guard lock(pacerMutex_);
        if (!pacerRun_) return;
        pacerRun_ = false;
    }
    pacerWake_.notify_all();
    if (pacer_.joinable()) pacer_.join();
}

std::vector<int16_t> KVRSyntheticAudioBackend::playedSamples() const {
    std::lock_guard lock(core_->mutex);
    return core_->played;
}

void KVRSyntheticAudioBackend::clearPlayed() {
    std::lock_guard lock(core_->mutex);
    core_->played.clear();
}

void KVRSyntheticAudioBackend::setKeepPlayed(bool keep) {
    std::lock_guard lock(core_->mutex);
    core_->keepPlayed = keep;
    if (!keep) core_->played.clear();
}

void KVRSyntheticAudioBackend::setPlaybackTap(PlaybackTap tap) {
    std::lock_guard lock(core_->mutex);
    core_->tap = std::move(tap);
}

bool KVRSyntheticAudioBackend::recordToWave(const std::string& path) {
    std::lock_guard lock(core_->mutex);
    if (core_->wave) sf_close(core_->wave);
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    core_->wave = sf_open(path.c_str(), SFM_WRITE, &info);
    return core_->wave != nullptr;
}

void KVRSyntheticAudioBackend::closeWave() {
    std::lock_guard lock(core_->mutex);
    if (core_->wave) sf_close(core_->wave);
    core_->wave = nullptr;
}

size_t KVRSyntheticAudioBackend::openInputCount() const {
    std::lock_guard lock(core_->mutex);
    return static_cast<size_t>(std::count_if(core_->streams.begin(), core_->streams.end(),
                                             [](auto& kv) { return kv.second.kind == kInput; }));
}

size_t KVRSyntheticAudioBackend::openOutputCount() const {
    std::lock_guard lock(core_->mutex);
    return static_cast<size_t>(std::count_if(core_->streams.begin(), core_->streams.end(),
                                             [](auto& kv) { return kv.second.kind == kOutput; }));
}

uint64_t KVRSyntheticAudioBackend::ticks() const {
    std::lock_guard lock(core_->mutex);
    return core_->ticks;
}

std::vector<KVRAudioDeviceInfo> KVRSyntheticAudioBackend::inputDevices() {
    return {{"Synthetic Microphone", "synthetic_in", 1}, {"Synthetic Line In", "synthetic_in2", 2}};
}

std::vector<KVRAudioDeviceInfo> KVRSyntheticAudioBackend::outputDevices() {
    return {{"Synthetic Speaker", "synthetic_out", 3}, {"Synthetic Headset", "synthetic_out2", 4}};
}

std::optional<std::string> KVRSyntheticAudioBackend::defaultInputDevice() { return "synthetic_in"; }
std::optional<std::string> KVRSyntheticAudioBackend::defaultOutputDevice() { return "synthetic_out"; }

std::unique_ptr<KVRAudioStream> KVRSyntheticAudioBackend::add(int kind, InputCallback input, OutputCallback output) {
    if (failOpen_) return nullptr;
    std::lock_guard lock(core_->mutex);
    uint64_t id = core_->nextId++;
    Core::Entry e;
    e.kind = kind;
    e.input = std::move(input);
    e.output = std::move(output);
    core_->streams.emplace(id, std::move(e));
    return std::make_unique<Stream>(core_, id);
}

std::unique_ptr<KVRAudioStream> KVRSyntheticAudioBackend::openInput(InputCallback callback) {
    if (!callback) return nullptr;
    return add(kInput, std::move(callback), {});
}

std::unique_ptr<KVRAudioStream> KVRSyntheticAudioBackend::openOutput(OutputCallback callback) {
    if (!callback) return nullptr;
    return add(kOutput, {}, std::move(callback));
}

std::optional<double> KVRSyntheticAudioBackend::volume(bool, const std::string& identifier) {
    std::lock_guard lock(core_->mutex);
    auto it = core_->volumes.find(identifier);
    if (it == core_->volumes.end()) return std::nullopt;
    return it->second;
}

bool KVRSyntheticAudioBackend::setVolume(bool, const std::string& identifier, double value) {
    std::lock_guard lock(core_->mutex);
    auto it = core_->volumes.find(identifier);
    if (it == core_->volumes.end()) return false;
    it->second = std::clamp(value, 0.0, 1.0);
    return true;
}

std::unique_ptr<KVRAudioStream> KVRSyntheticAudioBackend::openPlayThrough(const std::string& in, const std::string& out) {
    if (!volume(true, in) || !volume(false, out)) return nullptr;
    return add(kPlayThrough, {}, {});
}
