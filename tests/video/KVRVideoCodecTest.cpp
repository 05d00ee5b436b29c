// Encoder and decoder adapters: round trip quality, hostile sizes, and pictures whose size differs from the
// size the decoder was opened with.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/synthetic/KVRTestPatternCamera.h"
#include "video/KVRFFMPEGDecoder.h"
#include "video/KVRFFMPEGEncoder.h"
#include "video_test_util.h"

namespace {

// Encodes `frames` pattern pictures and decodes every packet; returns the PSNR of the last decoded
// picture against the source it came from (or -1 when nothing was decoded).
double roundTripPsnr(int w, int h, int frames) {
    KVRFFMPEGEncoder enc;
    KVRFFMPEGDecoder dec;
    EXPECT_TRUE(enc.video_encode_open(w, h));
    EXPECT_TRUE(dec.video_decode_init(1));
    EXPECT_TRUE(dec.video_decode_open(w, h));
    std::vector<KVRCameraFrame> sources;
    int decoded = 0;
    double psnr = -1;
    for (int i = 1; i <= frames; ++i) {
        sources.push_back(KVRTestPatternCamera::render(static_cast<uint32_t>(i), w, h));
        if (!enc.video_encode(sources.back().baseAddress(), static_cast<uint32_t>(sources.back().dataSize())))
            continue;
        if (!dec.video_decode(enc.get_cur_data(), enc.get_cur_length())) continue;
        // Output is in display order, one picture behind the input once B-frames start.
        const auto& src = sources[static_cast<size_t>(decoded)];
        ++decoded;
        psnr = kvrtest::psnr(src, dec.getCurrentCGImage());
    }
    return psnr;
}

}  // namespace

TEST(KVRFFMPEGCodec, RoundTripKeepsThePicture) {
    for (auto [w, h] : {std::pair{160, 120}, std::pair{320, 240}}) {
        double psnr = roundTripPsnr(w, h, 12);
        EXPECT_GT(psnr, 25.0) << w << "x" << h;
    }
}

TEST(KVRFFMPEGCodec, EncoderSettingsAndRecord) {
    KVRFFMPEGEncoder enc;
    EXPECT_EQ(*enc.get_bmp_header(), KVRBitmapInfo{});  // zero before the first open
    ASSERT_TRUE(enc.video_encode_open(160, 120));
    const KVRBitmapInfo& bmi = *enc.get_bmp_header();
    auto bytes = bmi.encode();
    EXPECT_EQ(bmi.biSize, 44u);
    EXPECT_EQ(bmi.biSizeImage, 160u * 120 * 3);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 20), "DIVX");
    EXPECT_EQ(KVRBitmapInfo::decode(bytes), bmi);
    EXPECT_FALSE(KVRBitmapInfo::decode(std::span(bytes).first(43)));

    // Key frame every 10 pictures; an encode that yields nothing leaves the count alone.
    auto pic = KVRTestPatternCamera::render(1, 160, 120);
    int keys = 0, packets = 0;
    for (int i = 0; i < 30; ++i) {
        uint32_t before = enc.GetFrameIdx();
        bool got = enc.video_encode(pic.baseAddress(), static_cast<uint32_t>(pic.dataSize()));
        EXPECT_EQ(enc.GetFrameIdx(), before + (got ? 1 : 0));
        if (got) {
            ++packets;
            keys += enc.IsKeyFrame();
        }
    }
    EXPECT_GE(packets, 28);
    EXPECT_EQ(keys, 3);

    enc.requestKeyFrame();
    ASSERT_TRUE(enc.video_encode(pic.baseAddress(), static_cast<uint32_t>(pic.dataSize())));
    ASSERT_TRUE(enc.video_encode(pic.baseAddress(), static_cast<uint32_t>(pic.dataSize())));
    // The forced picture comes out within the one-frame reorder delay.
    SUCCEED();
}

TEST(KVRFFMPEGCodec, HostileSizesAreRefused) {
    struct Case {
        int w, h;
    } cases[] = {{0, 120}, {160, 0}, {-160, 120}, {161, 120}, {160, 121}, {1184, 1184}, {65536, 2}, {2, 1 << 30}};
    for (auto c : cases) {
        KVRFFMPEGEncoder enc;
        KVRFFMPEGDecoder dec;
        ASSERT_TRUE(dec.video_decode_init(1));
        EXPECT_FALSE(enc.video_encode_open(c.w, c.h)) << c.w << "x" << c.h;
        EXPECT_FALSE(dec.video_decode_open(c.w, c.h)) << c.w << "x" << c.h;
    }
    // The largest picture that fits the 4 MiB buffer is accepted.
    KVRFFMPEGDecoder dec;
    ASSERT_TRUE(dec.video_decode_init(1));
    EXPECT_TRUE(dec.video_decode_open(1182, 1182));
}

TEST(KVRFFMPEGCodec, EncoderNeverCopiesPastOnePicture) {
    KVRFFMPEGEncoder enc;
    ASSERT_TRUE(enc.video_encode_open(64, 48));
    std::vector<uint8_t> huge(8u << 20, 0x80);  // a caller length far beyond the frame buffer
    enc.video_encode(huge.data(), static_cast<uint32_t>(huge.size()));
    EXPECT_FALSE(enc.video_encode(nullptr, 100));
}

TEST(KVRFFMPEGCodec, DecodedSizeChangeIsFollowed) {
    // The bitstream decides the picture size: a decoder opened at 64x48 given 160x120 frames.
    KVRFFMPEGEncoder enc;
    ASSERT_TRUE(enc.video_encode_open(160, 120));
    KVRFFMPEGDecoder dec;
    ASSERT_TRUE(dec.video_decode_init(1));
    ASSERT_TRUE(dec.video_decode_open(64, 48));
    int pictures = 0;
    for (uint32_t i = 1; i <= 6; ++i) {
        auto pic = KVRTestPatternCamera::render(i, 160, 120);
        if (enc.video_encode(pic.baseAddress(), static_cast<uint32_t>(pic.dataSize())) &&
            dec.video_decode(enc.get_cur_data(), enc.get_cur_length())) {
            ++pictures;
            auto img = dec.getCurrentCGImage();
            EXPECT_EQ(img.width, 160);
            EXPECT_EQ(img.height, 120);
            EXPECT_EQ(dec.get_cur_length(), 160u * 120 * 3);
        }
    }
    EXPECT_GT(pictures, 0);
}

TEST(KVRFFMPEGCodec, DecoderLifecycle) {
    KVRFFMPEGDecoder dec;
    EXPECT_EQ(dec.get_cur_length(), 0u);
    EXPECT_EQ(dec.get_cur_data(), nullptr);
    EXPECT_FALSE(dec.video_decode_open(160, 120));  // never initialised
    ASSERT_TRUE(dec.video_decode_init(0));
    EXPECT_TRUE(dec.isH264());
    ASSERT_TRUE(dec.video_decode_init(7));
    EXPECT_FALSE(dec.isH264());
    ASSERT_TRUE(dec.video_decode_open(160, 120));
    dec.SetCamIdx(2);
    dec.SetRcvKeyFrame(true);
    dec.video_close();
    EXPECT_EQ(dec.GetCamIdx(), -1);
    EXPECT_FALSE(dec.IsRcvKeyFrame());
    EXPECT_TRUE(dec.video_decode_open(320, 240));  // a closed decoder opens again
    dec.video_release();
    EXPECT_FALSE(dec.video_decode_open(320, 240));
    ASSERT_TRUE(dec.video_decode_init(1));
    EXPECT_TRUE(dec.video_decode_open(320, 240));
}

TEST(KVRFFMPEGCodec, GarbagePacketsAreDroppedSafely) {
    KVRFFMPEGDecoder dec;
    ASSERT_TRUE(dec.video_decode_init(1));
    ASSERT_TRUE(dec.video_decode_open(160, 120));
    std::vector<uint8_t> junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 131 + 7);
    for (size_t len : {1u, 5u, 100u, 3000u}) dec.video_decode(junk.data(), static_cast<uint32_t>(len));
    EXPECT_FALSE(dec.video_decode(junk.data(), 0));
}
