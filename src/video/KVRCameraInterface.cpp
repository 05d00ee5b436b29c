#include "video/KVRCameraInterface.h"

#include "relay/KVRVideoDataSender.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRLocalVideoViewDelegate.h"

KVRCameraInterface::KVRCameraInterface(std::shared_ptr<KVRCameraBackend> backend,
                                       std::shared_ptr<KVRCameraDevice> device)
    : backend_(std::move(backend)), device_(std::move(device)), videoDataSender_(new KVRVideoDataSender) {
    std::weak_ptr<KVRCameraDevice> weak = device_;
    videoDataSender_->setRateSource([weak]() -> int64_t {
        auto d = weak.lock();
        return d ? d->camFPS() : 5;
    });
}

KVRCameraInterface::~KVRCameraInterface() { stop(); }

bool KVRCameraInterface::initDevice() {
    // The platform back-end builds its session when it starts; here only a camera must exist.
    if (isInitDevice) return true;
    if (!backend_ || !device_ || device_->count() == 0) return false;
    isInitDevice = true;
    return true;
}

void KVRCameraInterface::setDelegateLocalView(KVRLocalVideoViewDelegate* view) {
    std::lock_guard lock(mutex_);
    delegateLocalVdieoView = view;
}

bool KVRCameraInterface::start() {
    stop();
    if (!device_ || device_->count() == 0) return false;
    const int64_t chosen = device_->chosenCamera();
    if (chosen != sessionCamera_) isInitDevice = false;
    if (!initDevice()) return false;
    return start(chosen, device_->camWidth(), device_->camHeight());
}

bool KVRCameraInterface::start(int64_t camIndex, int64_t camWidth, int64_t camHeight) {
    if (!backend_) return false;
    bool opened = backend_->start(static_cast<int>(camIndex), static_cast<int>(camWidth), static_cast<int>(camHeight),
                                  [this](KVRCameraFrame frame) { captureOutput(std::move(frame)); });
    if (!opened) {
        isInitDevice = false;
        return false;
    }
    sessionCamera_ = camIndex;
    videoDataSender_->setCameraIndex(camIndex);
    {
        std::lock_guard lock(threadMutex_);
        cancel_ = false;
    }
    thread_ = std::thread([this] { processDataThread(); });
    return true;
}

void KVRCameraInterface::stop() {
    if (backend_) backend_->stop();
    {
        std::lock_guard lock(threadMutex_);
        cancel_ = true;
    }
    threadWake_.notify_all();
    if (thread_.joinable()) thread_.join();
    videoDataSender_->reset();
}

bool KVRCameraInterface::isRunning() const { return backend_ && backend_->isRunning(); }

void KVRCameraInterface::captureOutput(KVRCameraFrame frame) {
    std::optional<KVRCameraFrame> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::move(currentImageBuffer);
        currentImageBuffer = std::move(frame);
    }
    // `previous` is released here, outside the lock.
}

void KVRCameraInterface::precessVideoPacket() {
    std::lock_guard lock(mutex_);
    if (device_ && device_->isPauseVideo()) return;
    if (!currentImageBuffer) return;
    // Kept, not cleared: a camera slower than the passes hands the same frame on again and the sender's
    // rate gate decides.
    KVRCameraFrame frame = *currentImageBuffer;
    videoDataSender_->putData(frame);
    showLocalVideo(frame);
}

bool KVRCameraInterface::showLocalVideo(const KVRCameraFrame& frame) {
    if (!frame.isUsable()) return false;
    if (delegateLocalVdieoView) delegateLocalVdieoView->onVideoFrame(frame);
    return true;
}

void KVRCameraInterface::processDataThread() {
    std::unique_lock lock(threadMutex_);
    while (!cancel_) {
        lock.unlock();
        precessVideoPacket();
        lock.lock();
        threadWake_.wait_for(lock, passInterval_, [this] { return cancel_; });
    }
}
