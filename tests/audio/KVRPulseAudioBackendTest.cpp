// The libpulse back-end against a private sound server with a null sink (started by the test fixture):
// devices, defaults, volume, and a tone played on the sink coming back through its monitor.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "platform/pulse/KVRPulseAudioBackend.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"

namespace {
std::shared_ptr<KVRPulseAudioBackend> connect() {
    auto backend = KVRPulseAudioBackend::create("kvr-test");
    if (!backend) ADD_FAILURE() << "no sound server at PULSE_SERVER=" << (getenv("PULSE_SERVER") ? getenv("PULSE_SERVER") : "");
    return backend;
}

bool hasDevice(const std::vector<KVRAudioDeviceInfo>& list, const std::string& id) {
    for (auto& d : list)
        if (d.identifier == id) return !d.name.empty() && d.name.size() <= 63;
    return false;
}
}  // namespace

TEST(KVRPulseAudioBackend, ListsNullSinkAndItsMonitorWithVolumes) {
    auto backend = connect();
    ASSERT_TRUE(backend);
    EXPECT_TRUE(hasDevice(backend->outputDevices(), "kvr_null"));
    EXPECT_TRUE(hasDevice(backend->inputDevices(), "kvr_null.monitor"));
    EXPECT_EQ(backend->defaultOutputDevice(), "kvr_null");
    EXPECT_TRUE(backend->defaultInputDevice().has_value());

    ASSERT_TRUE(backend->setVolume(false, "kvr_null", 0.5));
    EXPECT_NEAR(*backend->volume(false, "kvr_null"), 0.5, 0.01);
    ASSERT_TRUE(backend->setVolume(false, "kvr_null", 1.0));
    EXPECT_NEAR(*backend->volume(false, "kvr_null"), 1.0, 0.01);
    EXPECT_FALSE(backend->volume(true, "no_such_source").has_value());
    EXPECT_FALSE(backend->setVolume(true, "no_such_source", 0.3));
}

TEST(KVRPulseAudioBackend, ToneOnTheSinkIsCapturedFromItsMonitor) {
    auto backend = connect();
    ASSERT_TRUE(backend);
    auto tone = KVRSyntheticAudioBackend::tone(440, 0.5);
    uint64_t frameIndex = 0;
    auto output = backend->openOutputOn("kvr_null", [&](std::vector<uint8_t>& buf) {
        int16_t s[160];
        tone(s, 160, frameIndex++);
        for (int16_t v : s) {
            buf.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
            buf.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
        }
    });
    ASSERT_TRUE(output);

    std::mutex mutex;
    std::atomic<int> frames{0}, loudFrames{0}, wrongSize{0};
    auto input = backend->openInputOn("kvr_null.monitor", [&](const uint8_t* data, size_t size) {
        if (size != 320) ++wrongSize;
        int peak = 0;
        for (size_t i = 0; i + 1 < size; i += 2) peak = std::max(peak, std::abs(int(int16_t(data[i] | data[i + 1] << 8))));
        ++frames;
        if (peak > 8000) ++loudFrames;
    });
    ASSERT_TRUE(input);
    // The server needs about a second to get both streams going; poll, do not wait blindly.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loudFrames < 25 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    input->stop();
    output->stop();
    const int counted = frames;
    EXPECT_GE(loudFrames.load(), 25);
    EXPECT_EQ(wrongSize.load(), 0);
    // Stopped streams call back no more.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(frames.load(), counted);
}

TEST(KVRPulseAudioBackend, PlayThroughOpensAndUnknownDevicesFail) {
    auto backend = connect();
    ASSERT_TRUE(backend);
    auto monitor = backend->openPlayThrough("kvr_null.monitor", "kvr_null");
    ASSERT_TRUE(monitor);
    monitor->stop();
    EXPECT_FALSE(backend->openInputOn("no_such_source", [](const uint8_t*, size_t) {}));
    EXPECT_FALSE(backend->openOutputOn("no_such_sink", [](std::vector<uint8_t>& b) { b.resize(320); }));
}
