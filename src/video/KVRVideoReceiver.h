#pragma once
// One remote participant's video: reassembles the segments of their frames, decodes from the first key
// frame on, and hands out every picture. After a lost or abandoned frame it waits for the next key frame
// instead of decoding damaged pictures. Used by one thread at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "relay/KVRVideoSgmntBuffer.h"
#include "video/KVRFFMPEGDecoder.h"

class KVRVideoReceiver {
public:
    using PictureCallback = std::function<void(const KVRVideoImage& picture, uint32_t frameIndex)>;

    KVRVideoReceiver();

    // One video payload (relay commands 13/42, the relay header already removed). Hostile payloads are
    // logged and dropped. True when a picture was decoded.
    bool receivedVideoPayload(std::span<const uint8_t> payload);

    void setPictureCallback(PictureCallback cb) { onPicture_ = std::move(cb); }
    // Writes every nth decoded picture as <folder>/<prefix>_<frame index>.png (n ≤ 0 turns it off).
    void setSaveFrames(const std::string& folder, int everyNth, const std::string& prefix = "frame");

    KVRFFMPEGDecoder& decoder() { return decoder_; }
    uint64_t picturesDecoded() const { return picturesDecoded_; }
    uint64_t framesSkipped() const { return framesSkipped_; }
    uint64_t payloadsRefused() const { return payloadsRefused_; }
    const std::vector<std::string>& savedFiles() const { return savedFiles_; }

private:
    bool reopenIfNeeded(const struct KVRVideoHeader& header);
    void logRefusal(const std::string& why);

    KVRVideoSgmntBuffer buffer_;
    KVRFFMPEGDecoder decoder_;
    std::vector<uint8_t> frame_;
    int32_t codecFlag_ = -1;
    uint64_t lastFrameIndex_ = 0;  // of the last whole frame handed to the decoder
    PictureCallback onPicture_;
    std::string saveFolder_;
    std::string savePrefix_;
    int saveEvery_ = 0;
    uint64_t picturesDecoded_ = 0;
    uint64_t framesSkipped_ = 0;
    uint64_t payloadsRefused_ = 0;
    std::vector<std::string> savedFiles_;
};
