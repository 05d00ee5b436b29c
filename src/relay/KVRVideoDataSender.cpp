#include "relay/KVRVideoDataSender.h"

#include <cstring>
#include <thread>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "relay/KVRVideoPayloadSink.h"
#include "video/KVRCameraDevice.h"

namespace {
constexpr int64_t kDefaultFPS = 5;
}

KVRVideoDataSender::KVRVideoDataSender(std::shared_ptr<KVRVideoPayloadSink> sink) : sink_(std::move(sink)) {
    clock_ = [] { return static_cast<int64_t>(KVRGlobalData::getTickCount()); };
    rate_ = [] {
        auto device = KVRGlobalData::sharedGlobalData()->cameraDevice();
        return device ? device->camFPS() : kDefaultFPS;
    };
}

void KVRVideoDataSender::setSink(std::shared_ptr<KVRVideoPayloadSink> sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}
void KVRVideoDataSender::setClock(MillisecondClock clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}
void KVRVideoDataSender::setRateSource(RateSource rate) {
    std::lock_guard lock(mutex_);
    rate_ = std::move(rate);
}
void KVRVideoDataSender::setGateEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    gate_ = enabled;
}
void KVRVideoDataSender::setSegmentPause(std::chrono::microseconds pause) {
    std::lock_guard lock(mutex_);
    pause_ = pause;
}
void KVRVideoDataSender::setCameraIndex(int64_t index) {
    std::lock_guard lock(mutex_);
    cameraIndex_ = index;
}

bool KVRVideoDataSender::isSendTime() {
    if (!gate_) return true;
    int64_t fps = rate_ ? rate_() : kDefaultFPS;
    if (fps <= 0) fps = kDefaultFPS;  // a zero rate would make the interval infinite
    const auto interval = static_cast<int64_t>(1000.0 / static_cast<double>(fps));
    const int64_t now = clock_();
    if (now - _lastSendTime < interval) return false;
    _lastSendTime = now;
    return true;
}

bool KVRVideoDataSender::isChangedEncodingForamt(int32_t width, int32_t height) {
    const KVRBitmapInfo* bmi = _encoder.get_bmp_header();
    return !bmi || bmi->biWidth != width || bmi->biHeight != height;
}

bool KVRVideoDataSender::isNeedOpenCodec(int32_t width, int32_t height) {
    return !_encoder.IsOpend() || isChangedEncodingForamt(width, height);
}

bool KVRVideoDataSender::openCodec(int32_t width, int32_t height) {
    if (!isNeedOpenCodec(width, height)) return true;
    _encoder.video_release();
    loggedTooLarge_ = false;
    return _encoder.video_encode_open(width, height);
}

void KVRVideoDataSender::putData(const KVRCameraFrame& picture) {
    std::lock_guard lock(mutex_);
    if (!isSendTime()) return;
    if (!picture.isUsable()) return;
    const int w = picture.width;
    const int h = picture.height;
    if (!openCodec(w, h)) return;

    const size_t rowBytes = static_cast<size_t>(w) * 3u;
    const uint8_t* pixels = picture.baseAddress();
    if (static_cast<size_t>(picture.bytesPerRow) != rowBytes) {
        // The encoder reads tightly packed rows.
        packed_.resize(rowBytes * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            std::memcpy(packed_.data() + rowBytes * y, pixels + static_cast<size_t>(picture.bytesPerRow) * y,
                        rowBytes);
        pixels = packed_.data();
    }
    const auto pictureSize = static_cast<uint32_t>(rowBytes * static_cast<size_t>(h));
    if (!_encoder.video_encode(pixels, pictureSize)) return;

    const uint8_t* encoded = _encoder.get_cur_data();
    const uint32_t length = _encoder.get_cur_length();
    const uint8_t count = _pktMaker.setPacket(encoded, length);
    if (count == 0) {
        if (KVRVideoPktMaker::segmentsFor(length) > kvr::video::kSegmentsPerFrameMax) {
            // Too large for an 8-bit segment count: drop it, and make the next frame a key frame so that
            // receivers, which see the gap in the numbering, recover at once.
            ++framesTooLarge_;
            _encoder.requestKeyFrame();
            ++_frameIndex;
            if (!loggedTooLarge_) {
                KVRLog("video sender: dropped encoded frame of %u bytes (more than 255 segments)", length);
                loggedTooLarge_ = true;
            }
        }
        return;
    }

    payload_.fill(0);
    KVRVideoHeader header;
    header.picture = *_encoder.get_bmp_header();
    header.picture.biSize = 40;
    header.picture.biSizeImage = length;
    header.keyFrame = _encoder.IsKeyFrame() ? 1 : 0;
    header.pictureSize = pictureSize;
    header.cameraNumber = static_cast<uint8_t>(cameraIndex_ + 1);
    header.codec = 1;
    header.frameIndex = static_cast<uint32_t>(_frameIndex);
    auto segmentRoom = std::span<uint8_t>(payload_).subspan(kvr::video::kHeaderSize);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t segLen = _pktMaker.getPacket(k, segmentRoom);
        header.segmentLength = segLen;
        kvr::video::writeHeader(header, payload_);
        if (segLen > 0 && sink_) {
            sink_->sendVideo(std::span<const uint8_t>(payload_.data(), kvr::video::kHeaderSize + segLen));
            if (pause_.count() > 0) std::this_thread::sleep_for(pause_);
        }
    }
    ++framesSent_;
    ++_frameIndex;
}

void KVRVideoDataSender::reset() {
    std::lock_guard lock(mutex_);
    _encoder.video_release();
    _pktMaker.reset();
    _frameIndex = 1;
}

uint64_t KVRVideoDataSender::frameIndex() const {
    std::lock_guard lock(mutex_);
    return _frameIndex;
}
uint64_t KVRVideoDataSender::framesSent() const {
    std::lock_guard lock(mutex_);
    return framesSent_;
}
uint64_t KVRVideoDataSender::framesTooLarge() const {
    std::lock_guard lock(mutex_);
    return framesTooLarge_;
}
