#include "audio/KVRAudioInputChannel.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "app/KVRGlobalData.h"
#include "audio/CPacketBuffer.h"
#include "audio/KVRAudioRelaySender.h"

namespace {
// Shared by every input channel of the process: frames captured by one channel and not yet sent are
// sent (or dropped) by the next one started.
struct CaptureQueue {
    std::mutex mutex;
    std::condition_variable ready;
    CPacketBuffer frames;
    uint32_t frameCounter = 0;
    std::array<uint8_t, KVRAudioPayload::kPayloadSize> payload{};
    std::array<uint8_t, CPacketBuffer::kSlotBytes> scratch{};
};
constexpr uint32_t kMaxQueuedFrames = 50;

CaptureQueue& captureQueue() {
    static CaptureQueue q;
    return q;
}
}  // namespace

KVRAudioInputChannel::KVRAudioInputChannel(std::shared_ptr<KVRAudioBackend> backend,
                                           std::shared_ptr<KVRAudioSender> sender)
    : KVRAudioCapture(std::move(backend)), sender_(std::move(sender)) {}

KVRAudioInputChannel::~KVRAudioInputChannel() { stopAudio(); }

bool KVRAudioInputChannel::startAudio() {
    if (!start(this)) return false;
    if (!_threadPrecessAudioData.joinable()) {
        cancelled_ = false;
        _threadPrecessAudioData = std::thread([this] { processAudioDataThread(); });
    }
    return true;
}

void KVRAudioInputChannel::stopAudio() {
    stop();
    cancelled_ = true;
    captureQueue().ready.notify_all();
    if (_threadPrecessAudioData.joinable()) _threadPrecessAudioData.join();
}

void KVRAudioInputChannel::setDelegateClientVdieoView(KVRAudioLevelView* view) { _clientVdieoView = view; }

void KVRAudioInputChannel::setSender(std::shared_ptr<KVRAudioSender> sender) {
    std::lock_guard lock(senderMutex_);
    sender_ = std::move(sender);
}

void KVRAudioInputChannel::onCapturedData(const uint8_t* data, uint32_t size) {
    auto& q = captureQueue();
    {
        std::lock_guard lock(q.mutex);
        // A second of input is the most worth keeping: with no send thread draining the queue (none
        // started, or one stuck) the oldest frames go instead of memory.
        int32_t dropped = 0;
        while (q.frames.packetCount() >= kMaxQueuedFrames && q.frames.get(q.scratch, dropped)) {
        }
        q.frames.put(std::span<const uint8_t>(data, size));
    }
    q.ready.notify_one();
}

// Waits for frames instead of polling every 10 microseconds: the same latency without spinning a core.
void KVRAudioInputChannel::processAudioDataThread() {
    auto& q = captureQueue();
    while (!cancelled_) {
        if (precessCapturedAudioPacket()) continue;
        std::unique_lock lock(q.mutex);
        q.ready.wait_for(lock, std::chrono::milliseconds(50),
                         [&] { return cancelled_.load() || q.frames.packetCount() > 0; });
    }
}

bool KVRAudioInputChannel::precessCapturedAudioPacket() {
    auto& q = captureQueue();
    {
        std::lock_guard lock(q.mutex);
        if (!q.frames.get(buffer, bufferSize)) return false;
    }
    if (!isHasSendPermission()) return true;
    if (bufferSize != static_cast<int32_t>(KVRAudioPayload::kPCMFrameBytes)) return true;
    if (!_g711Encoder) _g711Encoder = std::make_unique<CCodecG711>(true);

    const std::span<const uint8_t> pcm(buffer.data(), static_cast<size_t>(bufferSize));
    const double level = GetWaveDecibel(buffer.data(), static_cast<uint32_t>(bufferSize));
    // The payload and the counter are process-wide; the capture queue's lock keeps two channels that
    // briefly overlap (one stopping, one starting) from interleaving on them.
    std::array<uint8_t, KVRAudioPayload::kPayloadSize> payload;
    {
        std::lock_guard lock(q.mutex);
        auto& p = q.payload;
        const int coded = _g711Encoder->Encode(pcm, std::span<uint8_t>(p).subspan(20, KVRAudioPayload::kCodedFrameBytes));
        const int mediaLength = coded + static_cast<int>(KVRAudioPayload::kRTPHeaderSize);
        p[6] = static_cast<uint8_t>(mediaLength);
        p[7] = static_cast<uint8_t>(mediaLength >> 8);
        makeRTP(std::span<uint8_t, KVRAudioPayload::kRTPHeaderSize>(p.data() + 8, KVRAudioPayload::kRTPHeaderSize), 0,
                q.frameCounter);
        p[4] = static_cast<uint8_t>(std::min(level, 100.0));
        ++q.frameCounter;
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(q.frameCounter >> (8 * i));
        p[5] = 0;
        payload = p;
    }
    sendPayload(payload);
    if (auto* view = _clientVdieoView.load()) view->audioLevel(buffer.data(), static_cast<uint32_t>(bufferSize), level);
    return true;
}

void KVRAudioInputChannel::sendPayload(std::span<const uint8_t> payload) {
    std::shared_ptr<KVRAudioSender> sender;
    {
        std::lock_guard lock(senderMutex_);
        sender = sender_;
    }
    if (sender) {
        sender->sendAudio(payload);
        return;
    }
    KVRAudioRelaySender::sendViaRegistry(payload);
}

void KVRAudioInputChannel::makeRTP(std::span<uint8_t, KVRAudioPayload::kRTPHeaderSize> out, int codecType,
                                   uint32_t frameIdx) const {
    KVRAudioPayload::makeRTP(out, codecType, frameIdx, _syncSourceID);
}

double KVRAudioInputChannel::GetWaveDecibel(const uint8_t* data, uint32_t dwBufferLength) {
    const uint32_t n = dwBufferLength / 2;
    if (n == 0 || !data) return 0.0;
    double sum = 0;
    for (uint32_t i = 0; i < n; ++i) sum += std::abs(static_cast<int>(static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8))));
    return sum / n * 100.0 / 32767.0;
}

uint32_t KVRAudioInputChannel::frameCounter() {
    std::lock_guard lock(captureQueue().mutex);
    return captureQueue().frameCounter;
}

size_t KVRAudioInputChannel::queuedFrames() {
    std::lock_guard lock(captureQueue().mutex);
    return captureQueue().frames.packetCount();
}

void KVRAudioInputChannel::resetForTesting() {
    std::lock_guard lock(captureQueue().mutex);
    captureQueue().frames.clear();
    captureQueue().frameCounter = 0;
}
