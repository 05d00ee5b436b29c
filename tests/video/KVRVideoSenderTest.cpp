// The paced sender and the per-user receiver, joined in-process: gate, headers, reassembly, key-frame
// gating and recovery after loss, oversized frames, saved pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/synthetic/KVRTestPatternCamera.h"
#include "relay/KVRVideoDataSender.h"
#include "relay/KVRVideoPayload.h"
#include "relay/KVRVideoPayloadSink.h"
#include "support/KVRTempDir.h"
#include "video/KVRVideoReceiver.h"
#include "video_test_util.h"

namespace {
struct CollectingSink : KVRVideoPayloadSink {
    std::vector<std::vector<uint8_t>> payloads;
    bool sendVideo(std::span<const uint8_t> p) override {
        payloads.emplace_back(p.begin(), p.end());
        return true;
    }
};

struct Rig {
    std::shared_ptr<CollectingSink> sink = std::make_shared<CollectingSink>();
    KVRVideoDataSender sender{sink};
    int64_t now = 1'700'000'000'000;
    Rig(int fps = 15) {
        sender.setClock([this] { return now; });
        sender.setRateSource([fps] { return fps; });
        sender.setSegmentPause(std::chrono::microseconds(0));
    }
    // Feeds pattern frames 1..n, 100 ms apart; returns them.
    std::vector<KVRCameraFrame> feed(int n, int w = 160, int h = 120) {
        std::vector<KVRCameraFrame> frames;
        for (int i = 1; i <= n; ++i) {
            frames.push_back(KVRTestPatternCamera::render(static_cast<uint32_t>(i), w, h));
            sender.putData(frames.back());
            now += 100;
        }
        return frames;
    }
};
}  // namespace

TEST(KVRVideoDataSender, FrameRateGate) {
    Rig rig(15);  // 1000 / 15 = 66 ms
    const int64_t t0 = rig.now;
    struct Step {
        int64_t at;
        bool passes;
    } steps[] = {{0, true}, {30, false}, {65, false}, {66, true}, {131, false}, {132, true}};
    for (auto st : steps) {
        rig.now = t0 + st.at;
        EXPECT_EQ(rig.sender.isSendTime(), st.passes) << "+" << st.at << " ms";
    }
    // Gated pictures never reach the encoder: a burst at one instant yields at most one frame.
    Rig burst(15);
    auto pic = KVRTestPatternCamera::render(1, 160, 120);
    for (int i = 0; i < 10; ++i) burst.sender.putData(pic);
    EXPECT_LE(burst.sender.frameIndex(), 2u);
    // A zero rate falls back to the default instead of dividing by zero.
    Rig zero(0);
    EXPECT_TRUE(zero.sender.isSendTime());
    zero.now += 199;
    EXPECT_FALSE(zero.sender.isSendTime());
    zero.now += 1;
    EXPECT_TRUE(zero.sender.isSendTime());
}

TEST(KVRVideoDataSender, HeadersDescribeTheFrame) {
    Rig rig;
    rig.sender.setCameraIndex(0);
    rig.feed(4);
    ASSERT_FALSE(rig.sink->payloads.empty());
    uint32_t expectIndex = 1;
    for (const auto& p : rig.sink->payloads) {
        ASSERT_LE(p.size(), kvr::video::kPayloadMax);
        auto parsed = kvr::video::parsePayload(p);
        ASSERT_TRUE(parsed);
        const auto& h = parsed->header;
        EXPECT_EQ(h.cameraNumber, 1);
        EXPECT_EQ(h.codec, 1);
        EXPECT_EQ(h.pictureSize, 160u * 120 * 3);
        EXPECT_EQ(h.picture.biSize, 40u);
        EXPECT_EQ(h.picture.biWidth, 160);
        EXPECT_EQ(h.picture.biHeight, 120);
        EXPECT_EQ(h.picture.biCompression, KVRBitmapInfo::kFourCCDivx);
        if (parsed->segmentHeader.index == 0 && h.frameIndex != expectIndex) expectIndex = h.frameIndex;
        EXPECT_EQ(h.frameIndex, expectIndex);
        if (parsed->segmentHeader.index + 1 == parsed->segmentHeader.totalSegments) ++expectIndex;
    }
    auto first = kvr::video::parsePayload(rig.sink->payloads.front());
    EXPECT_EQ(first->header.frameIndex, 1u);
    EXPECT_EQ(first->header.keyFrame, 1);
    rig.sender.reset();
    rig.sink->payloads.clear();
    rig.feed(2);
    ASSERT_FALSE(rig.sink->payloads.empty());
    EXPECT_EQ(kvr::video::parsePayload(rig.sink->payloads.front())->header.frameIndex, 1u);
}

TEST(KVRVideoDataSender, UnusablePicturesAreDropped) {
    Rig rig;
    KVRCameraFrame none;
    rig.sender.putData(none);
    KVRCameraFrame zero = KVRTestPatternCamera::render(1, 160, 120);
    zero.width = 0;
    rig.sender.putData(zero);
    KVRCameraFrame shortData = KVRTestPatternCamera::render(1, 160, 120);
    shortData.height = 240;  // claims more rows than its buffer holds
    rig.now += 1000;
    rig.sender.putData(shortData);
    EXPECT_TRUE(rig.sink->payloads.empty());
}

TEST(KVRVideoDataSender, PaddedRowsAreRepacked) {
    Rig rig;
    auto tight = KVRTestPatternCamera::render(1, 160, 120);
    KVRCameraFrame padded = tight;
    padded.bytesPerRow = 160 * 3 + 32;
    auto px = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(padded.bytesPerRow) * 120, 0xEE);
    for (int y = 0; y < 120; ++y)
        std::copy_n(tight.baseAddress() + y * 480, 480, px->data() + y * padded.bytesPerRow);
    padded.pixels = px;
    KVRVideoReceiver rx;
    double psnr = -1;
    rx.setPictureCallback([&](const KVRVideoImage& img, uint32_t) { psnr = kvrtest::psnr(tight, img); });
    for (int i = 0; i < 4; ++i) {
        rig.sender.putData(padded);
        rig.now += 100;
    }
    for (const auto& p : rig.sink->payloads) rx.receivedVideoPayload(p);
    EXPECT_GT(psnr, 25.0);
}

TEST(KVRVideoReceiver, RoundTripThroughSegments) {
    Rig rig;
    auto frames = rig.feed(20, 320, 240);
    KVRVideoReceiver rx;
    std::vector<std::pair<uint32_t, double>> seen;
    int shown = 0;
    rx.setPictureCallback([&](const KVRVideoImage& img, uint32_t idx) {
        // Pictures come out in display order, one behind the frame that completed them.
        seen.emplace_back(idx, kvrtest::psnr(frames[static_cast<size_t>(shown++)], img));
    });
    for (const auto& p : rig.sink->payloads) rx.receivedVideoPayload(p);
    ASSERT_GE(seen.size(), 15u);
    for (auto [idx, psnr] : seen) EXPECT_GT(psnr, 25.0) << "frame " << idx;
    EXPECT_EQ(rx.payloadsRefused(), 0u);
}

TEST(KVRVideoReceiver, WaitsForKeyFrameAtStartAndAfterLoss) {
    Rig rig;
    rig.feed(25);
    // Group the payloads by frame.
    std::map<uint32_t, std::vector<std::vector<uint8_t>>> byFrame;
    std::map<uint32_t, bool> key;
    for (const auto& p : rig.sink->payloads) {
        auto h = kvr::video::parsePayload(p)->header;
        byFrame[h.frameIndex].push_back(p);
        key[h.frameIndex] = h.keyFrame == 1;
    }
    ASSERT_TRUE(key[1]);
    uint32_t secondKey = 0;
    for (auto [i, k] : key)
        if (k && i > 1) secondKey = secondKey ? secondKey : i;
    ASSERT_GT(secondKey, 3u);

    KVRVideoReceiver rx;
    std::vector<uint32_t> decodedFrames;
    rx.setPictureCallback([&](const KVRVideoImage&, uint32_t idx) { decodedFrames.push_back(idx); });
    // Join late (frame 1 missed) and lose the last segment of frame secondKey + 2.
    for (auto& [i, segs] : byFrame) {
        if (i == 1) continue;
        for (size_t s = 0; s < segs.size(); ++s) {
            if (i == secondKey + 2 && s + 1 == segs.size()) continue;
            rx.receivedVideoPayload(segs[s]);
        }
    }
    ASSERT_FALSE(decodedFrames.empty());
    EXPECT_GE(decodedFrames.front(), secondKey);  // nothing before the first key frame
    for (uint32_t idx : decodedFrames) EXPECT_FALSE(idx > secondKey + 2 && idx < secondKey + 10) << idx;
    EXPECT_GT(rx.framesSkipped(), 0u);
    EXPECT_GT(decodedFrames.back(), secondKey + 10);  // recovered at the next key frame
}

TEST(KVRVideoReceiver, HostilePayloadsAreDropped) {
    KVRVideoReceiver rx;
    KVRVideoHeader h;
    h.keyFrame = 1;
    h.cameraNumber = 1;
    h.frameIndex = 1;
    std::vector<uint8_t> seg = {1, 0, 16, 0};
    seg.resize(20, 0x55);
    h.segmentLength = 20;
    for (auto [w, hh] : {std::pair{0, 0}, std::pair{100000, 100000}, std::pair{-2, 2}, std::pair{4096, 4096}}) {
        h.picture = KVRBitmapInfo::forPicture(w, hh, 0);
        std::vector<uint8_t> p(60);
        kvr::video::writeHeader(h, p);
        p.insert(p.end(), seg.begin(), seg.end());
        EXPECT_FALSE(rx.receivedVideoPayload(p));
    }
    EXPECT_EQ(rx.payloadsRefused(), 4u);
    // A well-formed header with garbage frame bytes decodes nothing and does not crash.
    h.picture = KVRBitmapInfo::forPicture(160, 120, 0);
    std::vector<uint8_t> p(60);
    kvr::video::writeHeader(h, p);
    p.insert(p.end(), seg.begin(), seg.end());
    rx.receivedVideoPayload(p);
    EXPECT_EQ(rx.picturesDecoded(), 0u);
}

TEST(KVRVideoReceiver, SavesEveryNthPictureAsPng) {
    KVRTempDir dir;
    Rig rig;
    rig.feed(12);
    KVRVideoReceiver rx;
    rx.setSaveFrames(dir.str(), 5, "u1");
    for (const auto& p : rig.sink->payloads) rx.receivedVideoPayload(p);
    ASSERT_EQ(rx.savedFiles().size(), rx.picturesDecoded() / 5);
    ASSERT_FALSE(rx.savedFiles().empty());
    std::ifstream in(rx.savedFiles().front(), std::ios::binary);
    char magic[8] = {};
    in.read(magic, 8);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

TEST(KVRVideoDataSender, FrameTooLargeForSegmentsIsDroppedAndKeyFrameForced) {
    Rig rig;
    rig.sender.setGateEnabled(false);
    // Noise at the largest accepted size does not fit 255 segments even at the coarsest quantiser.
    const int w = 1182, h = 1182;
    KVRCameraFrame noise;
    noise.width = w;
    noise.height = h;
    noise.bytesPerRow = w * 3;
    auto px = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(w) * h * 3);
    uint32_t s = 12345;
    for (auto& b : *px) b = static_cast<uint8_t>((s = s * 1103515245 + 12345) >> 16);
    noise.pixels = px;
    for (int i = 0; i < 3; ++i) rig.sender.putData(noise);
    ASSERT_GT(rig.sender.framesTooLarge(), 0u);
    // Frame numbers skip the dropped frames, so receivers notice the gap.
    for (const auto& p : rig.sink->payloads)
        EXPECT_LE(kvr::video::parsePayload(p)->header.frameIndex, rig.sender.frameIndex());
    EXPECT_EQ(rig.sender.frameIndex(), 1 + rig.sender.framesSent() + rig.sender.framesTooLarge());
}
