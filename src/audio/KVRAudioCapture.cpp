#include "audio/KVRAudioCapture.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "audio/KVRSoundCardDevice.h"
#include "conference/KVRCurrentConferenceInfo.h"

KVRAudioCapture::KVRAudioCapture(std::shared_ptr<KVRAudioBackend> backend) : backend_(std::move(backend)) {}

KVRAudioCapture::~KVRAudioCapture() { stop(); }

std::shared_ptr<KVRAudioBackend> KVRAudioCapture::backend() const {
    if (backend_) return backend_;
    auto device = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    return device ? device->audioBackend() : nullptr;
}

bool KVRAudioCapture::start(KVRAudioCaptureDelegate* delegate) {
    auto be = backend();
    {
        std::lock_guard lock(mutex_);
        _delegate = delegate;
    }
    if (!be) return false;
    stop();
    auto stream = be->openInput([this](const uint8_t* data, size_t) {
        // The frame is always one full frame, whatever the device reported.
        capturedPacket(data, static_cast<uint32_t>(KVRAudioBackend::kFrameBytes));
    });
    if (!stream) return false;
    std::lock_guard lock(mutex_);
    captureBuffer = std::move(stream);
    return true;
}

void KVRAudioCapture::stop() {
    std::unique_ptr<KVRAudioStream> stream;
    {
        std::lock_guard lock(mutex_);
        stream = std::move(captureBuffer);
    }
    // Outside the lock: stopping waits for a running callback, which takes the lock.
    if (stream) stream->stop();
}

bool KVRAudioCapture::isCapturing() const {
    std::lock_guard lock(mutex_);
    return captureBuffer != nullptr;
}

void KVRAudioCapture::capturedPacket(const uint8_t* data, uint32_t size) {
    KVRAudioCaptureDelegate* delegate;
    std::shared_ptr<KVRAudioRecordSink> sink;
    std::string userID;
    {
        std::lock_guard lock(mutex_);
        delegate = _delegate;
        sink = recordSink_;
        userID = localUserID_;
    }
    if (delegate) delegate->onCapturedData(data, size);
    if (sink && isHasSendPermission()) {
        if (userID.empty()) {
            if (auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig()) userID = config->stringValue("UID").value_or("");
        }
        sink->putData(userID, std::span<const uint8_t>(data, size));
    }
}

bool KVRAudioCapture::isHasSendPermission() const {
    PermissionQuery query;
    {
        std::lock_guard lock(mutex_);
        query = permission_;
    }
    bool allowed = false;
    if (query) {
        allowed = query();
    } else if (auto state = KVRGlobalData::sharedGlobalData()->currentConferenceInfo()) {
        allowed = state->isClassLocAudioPermission();
    }
    if (!allowed) return false;
    auto device = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    return !(device && device->isMicMute());
}

void KVRAudioCapture::setPermissionQuery(PermissionQuery query) {
    std::lock_guard lock(mutex_);
    permission_ = std::move(query);
}

void KVRAudioCapture::setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink) {
    std::lock_guard lock(mutex_);
    recordSink_ = std::move(sink);
}

void KVRAudioCapture::setLocalUserID(std::string userID) {
    std::lock_guard lock(mutex_);
    localUserID_ = std::move(userID);
}
