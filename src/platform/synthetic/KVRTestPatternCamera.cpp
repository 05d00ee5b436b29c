#include "platform/synthetic/KVRTestPatternCamera.h"

#include <algorithm>
#include <cstdio>

namespace {
// 3 × 5 digit glyphs, one row per 3 bits.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};
}  // namespace

KVRTestPatternCamera::KVRTestPatternCamera(int framesPerSecond) : fps_(framesPerSecond) {}

KVRTestPatternCamera::~KVRTestPatternCamera() { stop(); }

std::vector<KVRCameraDescription> KVRTestPatternCamera::devices() {
    return {KVRCameraDescription{"test-pattern", "Test pattern", {{160, 120}, {320, 240}, {640, 480}}}};
}

KVRCameraFrame KVRTestPatternCamera::render(uint32_t n, int width, int height) {
    KVRCameraFrame frame;
    if (width <= 0 || height <= 0) return frame;
    frame.width = width;
    frame.height = height;
    frame.bytesPerRow = width * 3;
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * height * 3);
    uint8_t* p = pixels->data();
    const int shift = static_cast<int>(n * 2 % static_cast<uint32_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int xs = (x + shift) % width;
            const int bar = xs * 8 / width;  // eight vertical bars scrolling left
            uint8_t* px = p + (static_cast<size_t>(y) * width + x) * 3;
            px[0] = static_cast<uint8_t>((bar & 1) ? 200 : 40 + y * 150 / height);
            px[1] = static_cast<uint8_t>((bar & 2) ? 190 : 30 + xs * 160 / width);
            px[2] = static_cast<uint8_t>((bar & 4) ? 180 : 60);
        }
    }
    // The frame number, white on black, top left, so a saved picture shows which frame it was.
    char text[16];
    std::snprintf(text, sizeof text, "%u", n);
    const int scale = std::max(1, height / 40);
    int ox = scale * 2;
    const int oy = scale * 2;
    for (const char* c = text; *c; ++c) {
        const int d = *c - '0';
        for (int gy = 0; gy < 7 * scale && oy + gy < height; ++gy)
            for (int gx = 0; gx < 5 * scale && ox + gx < width; ++gx) {
                const int cx = gx / scale - 1;
                const int cy = gy / scale - 1;
                bool on = cx >= 0 && cx < 3 && cy >= 0 && cy < 5 && (kDigits[d][cy] >> (2 - cx) & 1);
                uint8_t* px = p + (static_cast<size_t>(oy + gy) * width + ox + gx) * 3;
                px[0] = px[1] = px[2] = on ? 255 : 0;
            }
        ox += 5 * scale;
    }
    frame.pixels = std::move(pixels);
    return frame;
}

bool KVRTestPatternCamera::start(int index, int width, int height, FrameCallback onFrame) {
    stop();
    if (index != 0 || width <= 0 || height <= 0 || !onFrame) return false;
    {
        std::lock_guard lock(mutex_);
        onFrame_ = std::move(onFrame);
        width_ = width;
        height_ = height;
        running_ = true;
    }
    if (fps_ > 0) thread_ = std::thread([this] { run(); });
    return true;
}

void KVRTestPatternCamera::stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    onFrame_ = nullptr;
}

bool KVRTestPatternCamera::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void KVRTestPatternCamera::deliverFrame() {
    FrameCallback cb;
    int w, h;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        cb = onFrame_;
        w = width_;
        h = height_;
    }
    cb(render(++frameNumber_, w, h));
}

void KVRTestPatternCamera::run() {
    const auto period = std::chrono::microseconds(1000000 / fps_);
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    while (running_) {
        lock.unlock();
        deliverFrame();
        lock.lock();
        next += period;
        wake_.wait_until(lock, next, [this] { return !running_; });
    }
}
