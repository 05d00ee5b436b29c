#pragma once
// Paces the local camera's pictures to the camera's frame rate, encodes them and sends each encoded frame
// as segments. putData runs on the camera processing thread; reset on the main thread.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/KVRCameraBackend.h"
#include "relay/KVRVideoPayload.h"
#include "relay/KVRVideoPktMaker.h"
#include "video/KVRFFMPEGEncoder.h"

class KVRVideoPayloadSink;

class KVRVideoDataSender {
public:
    using MillisecondClock = std::function<int64_t()>;  // milliseconds since 1970
    using RateSource = std::function<int64_t()>;        // frames per second to send

    explicit KVRVideoDataSender(std::shared_ptr<KVRVideoPayloadSink> sink = nullptr);

    void setSink(std::shared_ptr<KVRVideoPayloadSink> sink);
    // Defaults: the wall clock; the registry's camera device rate (5 without one).
    void setClock(MillisecondClock clock);
    void setRateSource(RateSource rate);
    // Turns the frame-rate gate off (benchmarks, tools feeding pictures at their own pace).
    void setGateEnabled(bool enabled);
    // The pause between the segments of a frame (20 µs) so the receiver is not flooded.
    void setSegmentPause(std::chrono::microseconds pause);
    // Camera index carried in every payload (as index + 1).
    void setCameraIndex(int64_t index);

    void putData(const KVRCameraFrame& picture);
    void reset();
    bool openCodec(int32_t width, int32_t height);
    bool isNeedOpenCodec(int32_t width, int32_t height);
    bool isChangedEncodingForamt(int32_t width, int32_t height);
    bool isSendTime();

    uint64_t frameIndex() const;
    uint64_t framesSent() const;
    uint64_t framesTooLarge() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<KVRVideoPayloadSink> sink_;
    MillisecondClock clock_;
    RateSource rate_;
    bool gate_ = true;
    std::chrono::microseconds pause_{20};
    int64_t cameraIndex_ = 0;

    KVRFFMPEGEncoder _encoder;
    KVRVideoPktMaker _pktMaker;
    uint64_t _frameIndex = 1;
    int64_t _lastSendTime = 0;
    uint64_t framesSent_ = 0;
    uint64_t framesTooLarge_ = 0;
    bool loggedTooLarge_ = false;
    std::vector<uint8_t> packed_;  // rows repacked when the camera pads them
    std::array<uint8_t, kvr::video::kPayloadMax> payload_{};
};
