#pragma once
// A dispatcher stand-in that keeps every datagram the relay client hands over, by kind.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "relay/KVRRelayDataSink.h"

class KVRRecordingSink : public KVRRelayDataSink {
public:
    struct Entry {
        std::string kind;
        std::vector<uint8_t> datagram;
        KVRRelayAddress from;
    };

    void receivedAudioData(std::span<const uint8_t> d, const KVRRelayAddress& a) override { add("audio", d, a); }
    void receivedVideoData(std::span<const uint8_t> d, const KVRRelayAddress& a) override { add("video", d, a); }
    void receivedDocmentData(std::span<const uint8_t> d, const KVRRelayAddress& a) override { add("doc", d, a); }
    void receivedTextData(std::span<const uint8_t> d, const KVRRelayAddress& a) override { add("text", d, a); }

    // Waits until at least `count` entries arrived (or the time-out), then returns them all.
    std::vector<Entry> waitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
        return entries_;
    }
    std::vector<Entry> entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    void add(const char* kind, std::span<const uint8_t> d, const KVRRelayAddress& a) {
        std::lock_guard lock(mutex_);
        entries_.push_back({kind, {d.begin(), d.end()}, a});
        cv_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Entry> entries_;
};
