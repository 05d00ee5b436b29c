#pragma once
// The local microphone: opens the default input and hands every 20 ms frame to its delegate; frames
// captured while the user may speak also go to the lecture recorder under the local user id.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/KVRAudioSender.h"
#include "platform/KVRAudioBackend.h"

class KVRAudioCaptureDelegate {
public:
    virtual ~KVRAudioCaptureDelegate() = default;
    virtual void onCapturedData(const uint8_t* data, uint32_t size) = 0;
};

class KVRAudioCapture {
public:
    // The conference's answer to "may the local user speak now" (room type, rights, push-to-talk).
    using PermissionQuery = std::function<bool()>;

    // Without a back-end, the one of the registered sound card device is used.
    explicit KVRAudioCapture(std::shared_ptr<KVRAudioBackend> backend = {});
    virtual ~KVRAudioCapture();

    bool start(KVRAudioCaptureDelegate* delegate);
    void stop();
    void capturedPacket(const uint8_t* data, uint32_t size);

    // Conference permission and the microphone not muted. Without a query the registry's conference
    // state decides; with neither, nobody may speak.
    bool isHasSendPermission() const;

    void setPermissionQuery(PermissionQuery query);
    void setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink);
    // The user id frames are recorded under (the launch parameter UID when empty).
    void setLocalUserID(std::string userID);
    bool isCapturing() const;

protected:
    std::shared_ptr<KVRAudioBackend> backend() const;

private:
    std::shared_ptr<KVRAudioBackend> backend_;
    mutable std::mutex mutex_;
    std::unique_ptr<KVRAudioStream> captureBuffer;
    KVRAudioCaptureDelegate* _delegate = nullptr;
    PermissionQuery permission_;
    std::shared_ptr<KVRAudioRecordSink> recordSink_;
    std::string localUserID_;
};
