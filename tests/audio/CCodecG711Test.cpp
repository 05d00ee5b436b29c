#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "audio/CCodecG711.h"
#include "audio/CPacketBuffer.h"
#include "audio/KVRAudioPayload.h"

namespace {
std::vector<uint8_t> pcm(std::initializer_list<int16_t> samples, size_t total) {
    std::vector<uint8_t> out(total * 2, 0);
    size_t i = 0;
    for (int16_t s : samples) {
        out[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(s));
        out[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
        ++i;
    }
    return out;
}
}  // namespace

TEST(CCodecG711, SilenceRoundTripsToZeroBytes) {
    CCodecG711 codec(true);
    std::vector<uint8_t> in(320, 0), coded(160, 0), out(320, 0xAA);
    ASSERT_EQ(codec.Encode(in, coded), 160);
    EXPECT_EQ(coded, std::vector<uint8_t>(160, 0xFF));
    ASSERT_EQ(codec.Decode(coded, out), 320);
    EXPECT_EQ(out, std::vector<uint8_t>(320, 0));
}

TEST(CCodecG711, SmallNegativesRoundTowardZero) {
    struct Case { int16_t sample; uint8_t code; };
    for (Case c : {Case{0, 0xFF}, {-1, 0xFF}, {-2, 0xFF}, {-3, 0xFF}, {-4, 0x7E}, {3, 0xFF}, {4, 0xFE},
                   {32767, 0x80}, {-32768, 0x00}})
        EXPECT_EQ(CCodecG711::encodeSample(true, c.sample), c.code) << c.sample;
    // The frame path uses the same table.
    CCodecG711 codec(true);
    auto in = pcm({-1, -2, -3, -4}, 40);
    std::vector<uint8_t> coded(40);
    ASSERT_EQ(codec.Encode(in, coded), 40);
    EXPECT_EQ(coded[0], 0xFF);
    EXPECT_EQ(coded[2], 0xFF);
    EXPECT_EQ(coded[3], 0x7E);
}

TEST(CCodecG711, MuLawExpansionFixedPoints) {
    EXPECT_EQ(CCodecG711::decodeSample(true, 0x00), -32124);
    EXPECT_EQ(CCodecG711::decodeSample(true, 0x80), 32124);
    EXPECT_EQ(CCodecG711::decodeSample(true, 0xFF), 0);
    EXPECT_EQ(CCodecG711::decodeSample(true, 0x7F), 0);
}

// Both laws: every code expands and re-encodes to itself (the tables are each other's inverse), except
// mu-law's negative zero, which re-encodes as positive zero.
TEST(CCodecG711, EveryCodeSurvivesDecodeEncode) {
    for (bool mu : {true, false}) {
        for (int c = 0; c < 256; ++c) {
            auto code = static_cast<uint8_t>(c);
            uint8_t again = CCodecG711::encodeSample(mu, CCodecG711::decodeSample(mu, code));
            if (mu && code == 0x7F) EXPECT_EQ(again, 0xFF);
            else EXPECT_EQ(again, code) << (mu ? "mu " : "A ") << c;
        }
    }
    // A-law's well-known anchors.
    EXPECT_EQ(CCodecG711::encodeSample(false, 0), 0xD5);
    EXPECT_EQ(CCodecG711::decodeSample(false, 0xD5), 8);
    EXPECT_EQ(CCodecG711::decodeSample(false, 0x2A), -32256);
}

TEST(CCodecG711, RefusesPartialBlocksAndSmallOutputs) {
    CCodecG711 codec(true);
    std::vector<uint8_t> out(1024, 0x11);
    EXPECT_EQ(codec.Encode(std::vector<uint8_t>(100), out), 0);
    EXPECT_EQ(codec.Decode(std::vector<uint8_t>(30), out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(1024, 0x11));
    std::vector<uint8_t> small(100);
    EXPECT_EQ(codec.Encode(std::vector<uint8_t>(320), small), 0);
    EXPECT_EQ(codec.Decode(std::vector<uint8_t>(160), small), 0);
    EXPECT_EQ(codec.Encode({}, out), 0);
}

TEST(KVRAudioPayload, FirstTwoFramesCounterSequenceTimestamp) {
    std::array<uint8_t, 160> g711{};
    g711.fill(0xFF);
    struct Case { uint32_t counter; uint16_t seq; uint32_t ts; };
    for (Case c : {Case{1, 1000, 1000}, {2, 1001, 1160}, {65537, 1000, 10486760}}) {
        auto p = KVRAudioPayload::build(c.counter, 37, g711);
        ASSERT_EQ(p.size(), 180u);
        EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24, c.counter);
        EXPECT_EQ(p[4], 37);
        EXPECT_EQ(p[5], 0);
        EXPECT_EQ(p[6] | p[7] << 8, 172);
        EXPECT_EQ(p[8], 0x80);
        EXPECT_EQ(p[9], 0);
        EXPECT_EQ(p[10] << 8 | p[11], c.seq);
        EXPECT_EQ(uint32_t(p[12]) << 24 | p[13] << 16 | p[14] << 8 | p[15], c.ts);
        EXPECT_EQ(p[16] | p[17] | p[18] | p[19], 0);
        EXPECT_EQ(p[20], 0xFF);
    }
    uint8_t rtp[12];
    for (auto [type, pt] : {std::pair{0, 0}, {1, 8}, {2, 102}, {7, 0}}) {
        KVRAudioPayload::makeRTP(rtp, type, 0);
        EXPECT_EQ(rtp[1], pt);
    }
}

TEST(KVRAudioPayload, ParseChecksLengthsAgainstRealBytes) {
    std::array<uint8_t, 160> g711{};
    for (size_t i = 0; i < g711.size(); ++i) g711[i] = static_cast<uint8_t>(i);
    auto good = KVRAudioPayload::build(5, 9, g711);
    auto ok = KVRAudioPayload::parse(good);
    ASSERT_EQ(ok.result, KVRAudioPayload::ParseResult::Frame);
    EXPECT_EQ(ok.level, 9);
    EXPECT_EQ(ok.coded.data(), good.data() + 20);

    // Header flag set: the frame starts right after the prefix.
    auto flagged = good;
    flagged[5] = 1;
    auto f = KVRAudioPayload::parse(flagged);
    ASSERT_EQ(f.result, KVRAudioPayload::ParseResult::Frame);
    EXPECT_EQ(f.coded.data(), flagged.data() + 8);

    using R = KVRAudioPayload::ParseResult;
    auto withLength = [&](int16_t len, size_t size) {
        auto p = good;
        p[6] = static_cast<uint8_t>(len);
        p[7] = static_cast<uint8_t>(static_cast<uint16_t>(len) >> 8);
        p.resize(size);
        return KVRAudioPayload::parse(p).result;
    };
    EXPECT_EQ(withLength(172, 179), R::BadLength);  // datagram cut short
    EXPECT_EQ(withLength(171, 180), R::BadLength);  // too short for RTP + frame
    EXPECT_EQ(withLength(30000, 180), R::BadLength);
    EXPECT_EQ(withLength(25, 33), R::Silence);
    EXPECT_EQ(withLength(-7, 8), R::Silence);
    EXPECT_EQ(withLength(172, 7), R::Short);
    EXPECT_EQ(KVRAudioPayload::parse({}).result, R::Short);
}

TEST(CPacketBuffer, GrowsWhenFullAndKeepsOrder) {
    CPacketBuffer buf;
    EXPECT_EQ(buf.slotCount(), 1u);
    for (uint8_t i = 1; i <= 3; ++i) ASSERT_TRUE(buf.put(std::vector<uint8_t>(320, i)));
    EXPECT_EQ(buf.slotCount(), 3u);
    EXPECT_EQ(buf.packetCount(), 3u);
    std::vector<uint8_t> out(CPacketBuffer::kSlotBytes);
    int32_t len = 0;
    for (uint8_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(buf.get(out, len));
        EXPECT_EQ(len, 320);
        EXPECT_EQ(out[0], i);
    }
    EXPECT_FALSE(buf.get(out, len));

    // Interleaved use after wrapping: slots are reused, growth only when full, FIFO throughout.
    uint8_t next = 10, expect = 10;
    size_t peak = 0;
    for (int round = 0; round < 20; ++round) {
        for (int k = 0; k < round % 5; ++k) buf.put(std::vector<uint8_t>(4, next++));
        peak = std::max<size_t>(peak, buf.packetCount());
        for (int k = 0; k < (round + 1) % 4 && buf.get(out, len); ++k) EXPECT_EQ(out[0], expect++);
    }
    while (buf.get(out, len)) EXPECT_EQ(out[0], expect++);
    EXPECT_EQ(expect, next);
    EXPECT_EQ(buf.slotCount(), std::max<size_t>(peak, 3));
}

TEST(CPacketBuffer, RefusesOversizeAndTooSmallDestination) {
    CPacketBuffer buf;
    EXPECT_FALSE(buf.put(std::vector<uint8_t>(CPacketBuffer::kSlotBytes + 1)));
    EXPECT_EQ(buf.packetCount(), 0u);
    ASSERT_TRUE(buf.put(std::vector<uint8_t>(320, 7)));
    std::vector<uint8_t> tiny(10);
    int32_t len = 0;
    EXPECT_FALSE(buf.get(tiny, len));
    EXPECT_EQ(buf.packetCount(), 1u);  // still there for a proper reader
    buf.clear();
    EXPECT_EQ(buf.packetCount(), 0u);
    EXPECT_FALSE(buf.get(tiny, len));
}
