// Voice path latency on loopback: a talker's frame from the moment its capture callback hands it over
// to the moment the listener's playback channel plays it, through the development relay, with both
// sound cards synthetic and paced in real time. Every tenth frame carries a loud burst, the others are
// silent; a burst is matched to the last one captured before it was seen (bursts are 200 ms apart,
// far more than the path takes). The talker's sound card is restarted at five different phases to
// the listener's, as two real devices would be, so the wait for the next output period is spread over
// a whole frame. Prints the median and the 99th percentile, and the part the relay hop takes.
//
//   bench_voice_latency [seconds]      (default 30)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

#include "KVRDevRelay.h"
#include "audio/KVRAudioInputChannel.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "audio/KVRAudioPayload.h"
#include "audio/KVRAudioRelaySender.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "relay/KVRRelayDataSink.h"
#include "relay/KVRRelayServer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {
constexpr uint64_t kBurstEvery = 10;
constexpr int kThreshold = 4000;
constexpr size_t kRelayHeader = 34;

// Pairs each burst's first loud frame at one point of the path with its capture.
struct BurstMatcher {
    std::mutex mutex;
    std::deque<Clock::time_point> captured;  // hand-over times not yet seen here
    std::vector<double> latencies;
    uint64_t lost = 0;
    bool wasLoud = false;

    void captureAt(Clock::time_point t) {
        std::lock_guard lock(mutex);
        captured.push_back(t);
    }
    void observe(bool loud) {
        const auto seen = Clock::now();
        std::lock_guard lock(mutex);
        if (loud && !wasLoud) {
            // The newest burst captured before now; older unseen ones were lost on the way.
            std::optional<Clock::time_point> match;
            while (!captured.empty() && captured.front() <= seen) {
                if (match) ++lost;
                match = captured.front();
                captured.pop_front();
            }
            if (match) latencies.push_back(std::chrono::duration<double, std::milli>(seen - *match).count());
        }
        wasLoud = loud;
    }
};

struct VoiceSink : KVRRelayDataSink {
    KVRAudioOutputChannelManager* voices = nullptr;
    BurstMatcher* arrivals = nullptr;
    void receivedAudioData(std::span<const uint8_t> d, const KVRRelayAddress&) override {
        if (d.size() > kRelayHeader) arrivals->observe(KVRAudioPayload::parse(d.subspan(kRelayHeader)).level > 20);
        voices->receivedAudioData(d, true);
    }
    void receivedVideoData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedDocmentData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedTextData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
};

std::shared_ptr<KVRRelayServer> joined(const std::string& id, uint16_t port) {
    KVRRelayServer::Options o;
    o.bindAddress = "127.0.0.1";
    o.replyWait = 2000ms;
    auto client = KVRRelayServer::initWithDelegateEx(o);
    if (!client) return nullptr;
    client->setInfo(id, "127.0.0.1", port);
    if (!client->getNATInfo() || !client->enterRoom(5)) return nullptr;
    return client;
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const double rank = p * static_cast<double>(sorted.size() - 1);
    const auto lo = static_cast<size_t>(std::floor(rank));
    const size_t hi = std::min(lo + 1, sorted.size() - 1);
    return sorted[lo] + (sorted[hi] - sorted[lo]) * (rank - static_cast<double>(lo));
}

// Prints one stretch of the path; returns its median, or nothing when no burst got there.
std::optional<double> summary(BurstMatcher& m, const char* what) {
    std::lock_guard lock(m.mutex);
    std::vector<double> sorted = m.latencies;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty()) {
        std::printf("voice latency: %s: no burst got there\n", what);
        return std::nullopt;
    }
    std::printf("voice latency: %s: %zu bursts, %llu lost; min %.2f ms, median %.2f ms, p90 %.2f ms, "
                "p99 %.2f ms, max %.2f ms\n",
                what, sorted.size(), static_cast<unsigned long long>(m.lost + m.captured.size()), sorted.front(),
                percentile(sorted, 0.5), percentile(sorted, 0.9), percentile(sorted, 0.99), sorted.back());
    return percentile(sorted, 0.5);
}
}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::clamp(std::atoi(argv[1]), 5, 3600) : 30;

    KVRDevRelay::Options ro;
    ro.log = [](const std::string&) {};
    KVRDevRelay relay(ro);
    if (!relay.start()) {
        std::fprintf(stderr, "voice latency: the development relay could not start\n");
        return 1;
    }
    auto talkerRelay = joined("talker", relay.port());
    auto listenerRelay = joined("listener", relay.port());
    if (!talkerRelay || !listenerRelay) {
        std::fprintf(stderr, "voice latency: the relay clients could not join\n");
        return 1;
    }

    BurstMatcher played, arrived;
    // The generator runs right before the capture callback gets the frame it filled.
    auto talker = std::make_shared<KVRSyntheticAudioBackend>([&](int16_t* s, size_t n, uint64_t frame) {
        const bool burst = frame % kBurstEvery == 0;
        for (size_t i = 0; i < n; ++i)
            s[i] = burst ? static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 8000.0)) : 0;
        if (burst) {
            const auto now = Clock::now();
            played.captureAt(now);
            arrived.captureAt(now);
        }
    });
    auto listener = std::make_shared<KVRSyntheticAudioBackend>();
    listener->setKeepPlayed(false);
    // The tap sees each mixed frame in the tick that took it from the channel's output callback.
    listener->setPlaybackTap([&](const int16_t* s, size_t n) {
        int peak = 0;
        for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
        played.observe(peak > kThreshold);
    });

    KVRAudioOutputChannelManager voices(listener);
    auto sink = std::make_shared<VoiceSink>();
    sink->voices = &voices;
    sink->arrivals = &arrived;
    listenerRelay->setDataSink(sink);
    KVRAudioInputChannel channel(talker, std::make_shared<KVRAudioRelaySender>(talkerRelay));
    channel.setPermissionQuery([] { return true; });
    if (!channel.startAudio()) {
        std::fprintf(stderr, "voice latency: capture did not start\n");
        return 1;
    }
    std::printf("voice latency: %d s through the loopback relay, a burst every %llu frames\n", seconds,
                static_cast<unsigned long long>(kBurstEvery));

    listener->startRealTime();
    const auto listenerStart = Clock::now();
    constexpr int kPhases = 5;
    for (int phase = 0; phase < kPhases; ++phase) {
        // Start the talker `offset` into one of the listener's 20 ms periods.
        const auto offset = std::chrono::microseconds(1000 + phase * 4000);
        const auto since = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - listenerStart);
        std::this_thread::sleep_for(20ms - since % 20ms + offset);
        const size_t before = [&] {
            std::lock_guard lock(played.mutex);
            return played.latencies.size();
        }();
        talker->startRealTime();
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 / kPhases));
        talker->stopRealTime();
        // Let the channel run dry, as between two talk spurts, before the next phase.
        std::this_thread::sleep_for(300ms);
        std::lock_guard lock(played.mutex);
        std::vector<double> part(played.latencies.begin() + static_cast<std::ptrdiff_t>(before), played.latencies.end());
        std::sort(part.begin(), part.end());
        std::printf("voice latency: talker %2lld ms into the listener's period: median %.2f ms, max %.2f ms\n",
                    static_cast<long long>(offset.count() / 1000), percentile(part, 0.5), part.empty() ? 0.0 : part.back());
    }
    listener->stopRealTime();
    channel.stopAudio();
    listenerRelay->setDataSink({});

    summary(arrived, "capture to relay arrival");
    const auto median = summary(played, "capture to playback");
    if (!median) return 1;
    std::printf("voice latency: median beyond the 20 ms frame %.2f ms (goal <= 25 ms): %s\n", *median,
                *median <= 25.0 ? "met" : "missed");
    return 0;
}
