#include "audio/KVRAudioPlayer.h"

#include "app/KVRGlobalData.h"
#include "audio/KVRSoundCardDevice.h"

KVRAudioPlayer::KVRAudioPlayer(std::shared_ptr<KVRAudioBackend> backend)
    : backend_(std::move(backend)), frame_(CPacketBuffer::kSlotBytes) {}

KVRAudioPlayer::~KVRAudioPlayer() { stop(); }

bool KVRAudioPlayer::start(const std::string& ownerID) {
    stop();
    resetPlayBuffer();
    {
        std::lock_guard lock(mutex_);
        _ownerID = ownerID;
    }
    auto backend = backend_;
    if (!backend) {
        if (auto device = KVRGlobalData::sharedGlobalData()->soundCardDevice()) backend = device->audioBackend();
    }
    if (!backend) return false;
    isStarted_ = true;
    auto stream = backend->openOutput([this](std::vector<uint8_t>& out) { fill(out); });
    if (!stream) {
        isStarted_ = false;
        return false;
    }
    queue_ = std::move(stream);
    return true;
}

void KVRAudioPlayer::stop() {
    isStarted_ = false;
    // Not under the lock: closing the stream waits for a running output callback, which takes it.
    if (queue_) {
        queue_->stop();
        queue_.reset();
    }
}

std::string KVRAudioPlayer::userID() const {
    std::lock_guard lock(mutex_);
    return _ownerID;
}

void KVRAudioPlayer::fill(std::vector<uint8_t>& out) {
    std::lock_guard lock(mutex_);
    if (!isStarted_) {
        out.resize(out.size() + KVRAudioBackend::kFrameBytes, 0);
        return;
    }
    int taken = 0;
    int32_t length = 0;
    while (taken < kFramesPerBuffer && packetBuffer.get(frame_, length)) {
        ++taken;
        out.insert(out.end(), frame_.begin(), frame_.begin() + length);
        if (recordSink_) recordSink_->putData(_ownerID, std::span<const uint8_t>(frame_.data(), static_cast<size_t>(length)));
    }
    if (taken == 0) {
        static const uint8_t silence[KVRAudioBackend::kFrameBytes] = {};
        out.insert(out.end(), std::begin(silence), std::end(silence));
        if (recordSink_) recordSink_->putData(_ownerID, silence);
    }
}

void KVRAudioPlayer::putData(const uint8_t* data, uint32_t size) {
    std::lock_guard lock(mutex_);
    if (!isStarted_) return;
    if (packetBuffer.packetCount() > kMaxQueuedFrames) {
        packetBuffer.clear();
        ++backlogDrops_;
    }
    packetBuffer.put(std::span<const uint8_t>(data, size));
}

void KVRAudioPlayer::resetPlayBuffer() {
    std::lock_guard lock(mutex_);
    packetBuffer.clear();
}

uint32_t KVRAudioPlayer::queuedFrames() const {
    std::lock_guard lock(mutex_);
    return packetBuffer.packetCount();
}

void KVRAudioPlayer::setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink) {
    std::lock_guard lock(mutex_);
    recordSink_ = std::move(sink);
}
