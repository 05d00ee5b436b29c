#include "video/KVRVideoReceiver.h"

#include <cstdio>

#include "app/KVRLog.h"
#include "relay/KVRVideoPayload.h"
#include "video/KVRPngWriter.h"

KVRVideoReceiver::KVRVideoReceiver() : frame_(kvr::video::kFrameMax) { decoder_.init(); }

void KVRVideoReceiver::setSaveFrames(const std::string& folder, int everyNth, const std::string& prefix) {
    saveFolder_ = folder;
    if (!saveFolder_.empty() && saveFolder_.back() != '/') saveFolder_ += '/';
    saveEvery_ = everyNth;
    savePrefix_ = prefix;
}

void KVRVideoReceiver::logRefusal(const std::string& why) {
    ++payloadsRefused_;
    // One line per refusal would let a hostile sender fill the log: log the first few, then every 1000th.
    if (payloadsRefused_ <= 10 || payloadsRefused_ % 1000 == 0)
        KVRLog("video: dropped payload (%s), %llu so far", why.c_str(),
               static_cast<unsigned long long>(payloadsRefused_));
}

bool KVRVideoReceiver::reopenIfNeeded(const KVRVideoHeader& h) {
    const int32_t flag = h.codec != 0 ? 1 : 0;
    const int32_t cam = static_cast<int32_t>(h.cameraNumber) - 1;
    const KVRBitmapInfo* bmi = decoder_.get_bmp_header();
    if (decoder_.IsOpend() && flag == codecFlag_ && cam == decoder_.GetCamIdx() &&
        bmi->biWidth == h.picture.biWidth && bmi->biHeight == h.picture.biHeight)
        return true;
    if (flag != codecFlag_) {
        decoder_.video_release();
        if (!decoder_.video_decode_init(flag)) return false;
        codecFlag_ = flag;
    } else {
        decoder_.video_close();
    }
    if (!decoder_.video_decode_open(h.picture.biWidth, h.picture.biHeight)) return false;
    decoder_.SetFrameIdx(0);
    decoder_.SetCamIdx(cam);
    decoder_.SetRcvKeyFrame(false);
    return true;
}

bool KVRVideoReceiver::receivedVideoPayload(std::span<const uint8_t> payload) {
    std::string why;
    auto parsed = kvr::video::parsePayload(payload, &why);
    if (!parsed) {
        logRefusal(why);
        return false;
    }
    const KVRVideoHeader& h = parsed->header;
    if (!kvr::videoSizeFits(h.picture.biWidth, h.picture.biHeight)) {
        logRefusal("picture size " + std::to_string(h.picture.biWidth) + " x " + std::to_string(h.picture.biHeight));
        return false;
    }
    if (!buffer_.putPacket(h.frameIndex, parsed->segment.data(), static_cast<uint32_t>(parsed->segment.size())))
        return false;
    const uint32_t length = buffer_.getPacket(frame_);
    if (length == 0) return false;
    buffer_.setFrameIdx(h.frameIndex);

    // A gap in the numbering means a frame was lost or abandoned: later frames may refer to it.
    const bool gap = lastFrameIndex_ != 0 && h.frameIndex != lastFrameIndex_ + 1;
    lastFrameIndex_ = h.frameIndex;
    if (!reopenIfNeeded(h)) {
        logRefusal("decoder cannot be opened");
        return false;
    }
    if (gap) decoder_.SetRcvKeyFrame(false);
    if (!decoder_.IsRcvKeyFrame()) {
        if (h.keyFrame != 1) {
            ++framesSkipped_;
            return false;
        }
        decoder_.SetRcvKeyFrame(true);
    }
    decoder_.SetFrameIdx(h.frameIndex);
    if (!decoder_.video_decode(frame_.data(), length)) return false;
    ++picturesDecoded_;
    KVRVideoImage picture = decoder_.getCurrentCGImage();
    if (onPicture_) onPicture_(picture, h.frameIndex);
    if (saveEvery_ > 0 && !saveFolder_.empty() && picturesDecoded_ % static_cast<uint64_t>(saveEvery_) == 0) {
        char name[64];
        std::snprintf(name, sizeof name, "_%06u.png", h.frameIndex);
        std::string path = saveFolder_ + savePrefix_ + name;
        if (KVRPngWriter::write(picture, path)) savedFiles_.push_back(path);
    }
    return true;
}
