#pragma once
// Capture and send: captured frames wait in the process-wide capture queue; the send thread drops
// them unless the user may speak, codes them to mu-law, puts level, frame counter and RTP header in
// front and sends each as one audio payload.
#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/CCodecG711.h"
#include "audio/KVRAudioCapture.h"
#include "audio/KVRAudioPayload.h"

// The view that shows the local participant's level; called on the send thread.
class KVRAudioLevelView {
public:
    virtual ~KVRAudioLevelView() = default;
    virtual void audioLevel(const uint8_t* data, uint32_t size, double level) = 0;
};

class KVRAudioInputChannel : public KVRAudioCapture, private KVRAudioCaptureDelegate {
public:
    // Without a sender, payloads go to the registered relay client.
    explicit KVRAudioInputChannel(std::shared_ptr<KVRAudioBackend> backend = {},
                                  std::shared_ptr<KVRAudioSender> sender = {});
    ~KVRAudioInputChannel() override;

    bool startAudio();
    void stopAudio();
    void setDelegateClientVdieoView(KVRAudioLevelView* view);
    void setSender(std::shared_ptr<KVRAudioSender> sender);

    // Takes one frame from the capture queue and sends it if allowed; false when the queue was empty.
    bool precessCapturedAudioPacket();

    void makeRTP(std::span<uint8_t, KVRAudioPayload::kRTPHeaderSize> out, int codecType, uint32_t frameIdx) const;
    static double GetWaveDecibel(const uint8_t* data, uint32_t dwBufferLength);

    // Frames sent by this process so far.
    static uint32_t frameCounter();
    static size_t queuedFrames();
    // Tests: an empty capture queue and a counter back at 0.
    static void resetForTesting();

private:
    void onCapturedData(const uint8_t* data, uint32_t size) override;
    void processAudioDataThread();
    void sendPayload(std::span<const uint8_t> payload);

    std::unique_ptr<CCodecG711> _g711Encoder;
    std::thread _threadPrecessAudioData;
    std::atomic<bool> cancelled_{false};
    std::array<uint8_t, 1024> buffer{};
    int32_t bufferSize = 0;
    uint32_t _syncSourceID = 0;
    std::atomic<KVRAudioLevelView*> _clientVdieoView{nullptr};
    std::mutex senderMutex_;
    std::shared_ptr<KVRAudioSender> sender_;
};
