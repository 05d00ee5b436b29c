#pragma once
// One voice's output: a queue of decoded 20 ms frames played on the default output device. Each time
// the device asks for sound, up to 10 queued frames are played, or 20 ms of silence when none are
// queued; whatever is played also goes to the lecture recorder under the voice's user id.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/CPacketBuffer.h"
#include "audio/KVRAudioSender.h"
#include "platform/KVRAudioBackend.h"

class KVRAudioPlayer {
public:
    static constexpr uint32_t kMaxQueuedFrames = 50;
    static constexpr int kFramesPerBuffer = 10;

    // Without a back-end, the one of the registered sound card device is used.
    explicit KVRAudioPlayer(std::shared_ptr<KVRAudioBackend> backend = {});
    virtual ~KVRAudioPlayer();

    bool start(const std::string& ownerID);
    void stop();
    std::string userID() const;
    bool isStarted() const { return isStarted_.load(); }

    // Queues one frame while playing (discarded while stopped). More than 50 frames waiting means
    // playback fell behind: the backlog goes and playback continues with the newest frame.
    void putData(const uint8_t* data, uint32_t size);
    void resetPlayBuffer();
    uint32_t queuedFrames() const;
    // How often the backlog rule dropped the queue.
    uint64_t backlogDrops() const { return backlogDrops_.load(); }

    void setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink);

private:
    void fill(std::vector<uint8_t>& out);

    std::shared_ptr<KVRAudioBackend> backend_;
    std::unique_ptr<KVRAudioStream> queue_;
    std::atomic<bool> isStarted_{false};
    mutable std::mutex mutex_;  // guards packetBuffer, _ownerID and the sink
    std::string _ownerID;
    CPacketBuffer packetBuffer;
    std::shared_ptr<KVRAudioRecordSink> recordSink_;
    std::atomic<uint64_t> backlogDrops_{0};
    std::vector<uint8_t> frame_;
};
