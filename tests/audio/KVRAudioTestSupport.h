#pragma once
// Fakes for the voice pipeline tests: a sender and a recorder that keep what they get.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "audio/KVRAudioSender.h"

namespace kvrtest {
struct CollectingSender : KVRAudioSender {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<uint8_t>> payloads;

    void sendAudio(std::span<const uint8_t> payload) override {
        {
            std::lock_guard lock(mutex);
            payloads.emplace_back(payload.begin(), payload.end());
        }
        changed.notify_all();
    }
    // Waits (bounded, for the send thread) until `n` payloads have arrived.
    bool waitFor(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return payloads.size() >= n; });
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return payloads.size();
    }
    std::vector<uint8_t> at(size_t i) {
        std::lock_guard lock(mutex);
        return payloads.at(i);
    }
};

struct CollectingRecorder : KVRAudioRecordSink {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> frames;
    void putData(const std::string& userID, std::span<const uint8_t> pcm) override {
        std::lock_guard lock(mutex);
        frames.emplace_back(userID, std::vector<uint8_t>(pcm.begin(), pcm.end()));
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return frames.size();
    }
};

inline uint32_t le32(const std::vector<uint8_t>& p, size_t at) {
    return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t(p[at + 3]) << 24;
}
}  // namespace kvrtest
