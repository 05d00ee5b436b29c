#pragma once
// A camera that films a moving test pattern with its frame number burnt in, for tests and the bot.
// start() delivers frames from its own thread at the chosen rate; deliverFrame() drives it by hand.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/KVRCameraBackend.h"

class KVRTestPatternCamera : public KVRCameraBackend {
public:
    explicit KVRTestPatternCamera(int framesPerSecond = 15);
    ~KVRTestPatternCamera() override;

    std::vector<KVRCameraDescription> devices() override;
    bool start(int index, int width, int height, FrameCallback onFrame) override;
    void stop() override;
    bool isRunning() const override;

    // Without the thread (rate 0 at construction), frames are delivered only by this call.
    void deliverFrame();
    uint32_t framesDelivered() const { return frameNumber_; }

    // Picture number `n` at width × height: bars and a gradient that move with n, the number in digits.
    static KVRCameraFrame render(uint32_t n, int width, int height);

private:
    void run();

    int fps_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    FrameCallback onFrame_;
    int width_ = 0;
    int height_ = 0;
    bool running_ = false;
    std::atomic<uint32_t> frameNumber_{0};
    std::thread thread_;
};
