// Cutting encoded frames into segments and collecting them again, including hostile payloads.
#include <gtest/gtest.h>

#include <numeric>

#include "relay/KVRVideoPayload.h"
#include "relay/KVRVideoPktMaker.h"
#include "relay/KVRVideoSgmntBuffer.h"

namespace {
std::vector<uint8_t> bytesOf(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return v;
}

std::vector<std::vector<uint8_t>> cut(const std::vector<uint8_t>& frame) {
    KVRVideoPktMaker maker;
    uint8_t count = maker.setPacket(frame.data(), static_cast<uint32_t>(frame.size()));
    std::vector<std::vector<uint8_t>> out;
    for (uint32_t k = 0; k < count; ++k) {
        std::vector<uint8_t> seg(kvr::video::kSegmentMax);
        seg.resize(maker.getPacket(k, seg));
        out.push_back(seg);
    }
    return out;
}

std::vector<uint8_t> segment(uint8_t total, uint8_t index, size_t dataLen) {
    std::vector<uint8_t> s(4 + dataLen, 0xAB);
    s[0] = total;
    s[1] = index;
    s[2] = static_cast<uint8_t>(dataLen & 0xff);
    s[3] = static_cast<uint8_t>(dataLen >> 8);
    return s;
}

bool put(KVRVideoSgmntBuffer& b, uint64_t frame, const std::vector<uint8_t>& s) {
    return b.putPacket(frame, s.data(), static_cast<uint32_t>(s.size()));
}
}  // namespace

TEST(KVRVideoPktMaker, SegmentBoundaries) {
    struct Case {
        size_t frame;
        std::vector<size_t> dataLengths;
    } cases[] = {{1, {1}}, {768, {768}}, {769, {768, 1}}, {1536, {768, 768}}, {195840, std::vector<size_t>(255, 768)}};
    for (const auto& c : cases) {
        auto frame = bytesOf(c.frame);
        auto segs = cut(frame);
        ASSERT_EQ(segs.size(), c.dataLengths.size()) << c.frame;
        std::vector<uint8_t> joined;
        for (size_t k = 0; k < segs.size(); ++k) {
            EXPECT_EQ(segs[k].size(), 4 + c.dataLengths[k]);
            EXPECT_EQ(segs[k][0], segs.size() & 0xff);
            EXPECT_EQ(segs[k][1], k);
            EXPECT_EQ(segs[k][2] | segs[k][3] << 8, c.dataLengths[k]);
            joined.insert(joined.end(), segs[k].begin() + 4, segs[k].end());
        }
        EXPECT_EQ(joined, frame);
    }
}

TEST(KVRVideoPktMaker, RefusesWhatItCannotDescribe) {
    KVRVideoPktMaker maker;
    auto big = bytesOf(195841);  // 256 segments do not fit the 8-bit count
    EXPECT_EQ(maker.setPacket(big.data(), static_cast<uint32_t>(big.size())), 0);
    EXPECT_EQ(maker.setPacket(big.data(), 0), 0);
    std::vector<uint8_t> out(772);
    EXPECT_EQ(maker.getPacket(0, out), 0u);
    ASSERT_EQ(maker.setPacket(big.data(), 100), 1);
    EXPECT_EQ(maker.getPacket(1, out), 0u);  // beyond the count
    std::vector<uint8_t> small(50);
    EXPECT_EQ(maker.getPacket(0, small), 0u);  // destination too small
}

TEST(KVRVideoSgmntBuffer, CollectsAndHandsOutOnce) {
    auto frame = bytesOf(2000);
    auto segs = cut(frame);
    KVRVideoSgmntBuffer b;
    std::vector<uint8_t> dest(kvr::video::kFrameMax);
    for (size_t k = 0; k < segs.size(); ++k) {
        ASSERT_TRUE(put(b, 7, segs[k]));
        EXPECT_EQ(b.getPacket(dest), k + 1 == segs.size() ? 2000u : 0u);
    }
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), dest.begin()));
    // A duplicated last segment does not hand the frame out again.
    put(b, 7, segs.back());
    EXPECT_EQ(b.getPacket(dest), 0u);
    EXPECT_EQ(b.collectedSegments(), segs.size());
}

TEST(KVRVideoSgmntBuffer, NewerFrameAbandonsUnfinished) {
    KVRVideoSgmntBuffer b;
    std::vector<uint8_t> dest(kvr::video::kFrameMax);
    ASSERT_TRUE(put(b, 5, segment(3, 0, 768)));
    ASSERT_TRUE(put(b, 5, segment(3, 1, 768)));
    ASSERT_TRUE(put(b, 6, segment(1, 0, 10)));
    EXPECT_EQ(b.frameIdx(), 6u);
    EXPECT_EQ(b.getPacket(dest), 10u);
}

TEST(KVRVideoSgmntBuffer, OldFramesAndRestart) {
    KVRVideoSgmntBuffer b;
    ASSERT_TRUE(put(b, 10, segment(2, 0, 100)));
    EXPECT_FALSE(put(b, 3, segment(1, 0, 100)));  // 7 below: refused, nothing changes
    EXPECT_EQ(b.frameIdx(), 10u);
    EXPECT_EQ(b.collectedSegments(), 1u);

    KVRVideoSgmntBuffer r;
    ASSERT_TRUE(put(r, 30, segment(2, 0, 100)));
    EXPECT_FALSE(put(r, 3, segment(1, 0, 100)));  // 27 below: the sender restarted
    EXPECT_EQ(r.frameIdx(), 0u);
    std::vector<uint8_t> dest(kvr::video::kFrameMax);
    ASSERT_TRUE(put(r, 1, segment(1, 0, 40)));
    EXPECT_EQ(r.getPacket(dest), 40u);
}

TEST(KVRVideoSgmntBuffer, HostileSegmentsAreRefused) {
    KVRVideoSgmntBuffer b;
    std::vector<uint8_t> dest(kvr::video::kFrameMax);
    EXPECT_FALSE(put(b, 1, segment(1, 0, 769)));  // 773 bytes
    EXPECT_FALSE(put(b, 1, std::vector<uint8_t>{1, 0, 0}));
    EXPECT_FALSE(put(b, 1, segment(1, 0, 0)));
    EXPECT_FALSE(put(b, 1, segment(0, 0, 10)));  // a frame of no segments
    auto lying = segment(1, 0, 10);
    lying[2] = 200;  // claims more data than it carries
    EXPECT_FALSE(put(b, 1, lying));
    EXPECT_FALSE(b.putPacket(1, nullptr, 10));
    // More segments than announced are not collected: the bytes held per frame stay bounded.
    ASSERT_TRUE(put(b, 2, segment(2, 0, 768)));
    ASSERT_TRUE(put(b, 2, segment(2, 1, 768)));
    EXPECT_FALSE(put(b, 2, segment(2, 1, 768)));
    EXPECT_EQ(b.collectedSegments(), 2u);
    std::vector<uint8_t> tiny(100);
    EXPECT_EQ(b.getPacket(tiny), 0u);  // destination too small: nothing copied
}

TEST(KVRVideoPayload, ParseChecksEveryLength) {
    KVRVideoHeader h;
    h.keyFrame = 1;
    h.cameraNumber = 1;
    h.picture = KVRBitmapInfo::forPicture(160, 120, KVRBitmapInfo::kFourCCDivx);
    h.frameIndex = 9;
    auto seg = segment(2, 1, 300);
    h.segmentLength = static_cast<uint32_t>(seg.size());
    std::vector<uint8_t> payload(60);
    kvr::video::writeHeader(h, payload);
    payload.insert(payload.end(), seg.begin(), seg.end());
    auto p = kvr::video::parsePayload(payload);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->header.frameIndex, 9u);
    EXPECT_EQ(p->header.picture.biWidth, 160);
    EXPECT_EQ(payload[12] | payload[13] << 8, 160);  // width at offset 12
    EXPECT_EQ(p->segment.size(), 304u);

    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    } cases[] = {
        {"truncated header", [](auto& v) { v.resize(59); }},
        // Cut inside the picture description: the fields after it must not be read from its bytes.
        {"cut in the picture description", [](auto& v) { v.resize(16); }},
        {"empty", [](auto& v) { v.clear(); }},
        {"truncated segment", [](auto& v) { v.resize(v.size() - 1); }},
        {"segment length 0", [](auto& v) { v[56] = v[57] = 0; }},
        {"segment length 773", [](auto& v) { v[56] = 0x05; v[57] = 0x03; }},
        {"huge segment length", [](auto& v) { v[59] = 0xff; }},
        {"zero total", [](auto& v) { v[60] = 0; }},
        {"index beyond total", [](auto& v) { v[61] = 2; }},
        {"inner length mismatch", [](auto& v) { v[62] = 1; }},
    };
    for (const auto& c : cases) {
        auto bad = payload;
        c.damage(bad);
        std::string why;
        EXPECT_FALSE(kvr::video::parsePayload(bad, &why)) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
    }
}
