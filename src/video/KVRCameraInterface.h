#pragma once
// The local end of the video path: captures from the chosen camera, and every pass of its processing thread
// (50 ms) hands the newest frame to the video sender and to the local tile's preview.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/KVRCameraBackend.h"

class KVRCameraDevice;
class KVRLocalVideoViewDelegate;
class KVRVideoDataSender;

class KVRCameraInterface {
public:
    KVRCameraInterface(std::shared_ptr<KVRCameraBackend> backend, std::shared_ptr<KVRCameraDevice> device);
    ~KVRCameraInterface();
    KVRCameraInterface(const KVRCameraInterface&) = delete;
    KVRCameraInterface& operator=(const KVRCameraInterface&) = delete;

    bool initDevice();
    void setDelegateLocalView(KVRLocalVideoViewDelegate* view);
    // Stops, then starts the chosen camera at the device's size; false without a camera or when it cannot
    // be opened (no thread is started then).
    bool start();
    bool start(int64_t camIndex, int64_t camWidth, int64_t camHeight);
    void stop();
    bool isRunning() const;

    // The capture callback: keeps the newest frame.
    void captureOutput(KVRCameraFrame frame);
    // One pass of the processing thread (tests call it directly with the thread not running).
    void precessVideoPacket();
    bool showLocalVideo(const KVRCameraFrame& frame);

    KVRVideoDataSender& videoDataSender() { return *videoDataSender_; }
    std::shared_ptr<KVRCameraDevice> device() const { return device_; }
    void setPassInterval(std::chrono::milliseconds interval) { passInterval_ = interval; }

private:
    void processDataThread();

    std::shared_ptr<KVRCameraBackend> backend_;
    std::shared_ptr<KVRCameraDevice> device_;
    std::unique_ptr<KVRVideoDataSender> videoDataSender_;

    mutable std::mutex mutex_;  // guards currentImageBuffer and the delegate
    std::optional<KVRCameraFrame> currentImageBuffer;
    KVRLocalVideoViewDelegate* delegateLocalVdieoView = nullptr;
    bool isInitDevice = false;
    int64_t sessionCamera_ = -1;

    std::mutex threadMutex_;
    std::condition_variable threadWake_;
    bool cancel_ = false;
    std::thread thread_;
    std::chrono::milliseconds passInterval_{50};
};
