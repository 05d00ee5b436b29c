#include <gtest/gtest.h>

#include "relay/KVRRelayPacket.h"

namespace {
std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }
}  // namespace

TEST(KVRRelayPacket, HeaderGoldenBytesWithTwentyThreeCharacterID) {
    const std::string id = "abcdefghijklmnopqrstuvw";  // 23 characters: exactly one NUL left
    auto payload = bytesOf("hi");
    auto d = KVRRelayPacket::encode(15, 1, 0x01020304, id, payload);
    ASSERT_TRUE(d);
    std::vector<uint8_t> expected = {15, 1, 0, 0, 0x04, 0x03, 0x02, 0x01};
    expected.insert(expected.end(), id.begin(), id.end());
    expected.push_back(0);
    expected.push_back(2);  // payload length, little-endian
    expected.push_back(0);
    expected.push_back('h');
    expected.push_back('i');
    EXPECT_EQ(*d, expected);

    auto decoded = KVRRelayPacket::decode(*d);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->header.command, 15);
    EXPECT_EQ(decoded->header.subRoomNo, 0x01020304);
    EXPECT_EQ(decoded->header.userID, id);
    EXPECT_EQ(std::vector<uint8_t>(decoded->payload.begin(), decoded->payload.end()), payload);
}

TEST(KVRRelayPacket, ShortIDIsZeroPaddedAndNegativeSubRoomKeepsItsBits) {
    auto d = KVRRelayPacket::encode(12, 1, -2, "u1", {});
    ASSERT_TRUE(d);
    ASSERT_EQ(d->size(), KVRRelayPacket::kHeaderSize);
    EXPECT_EQ((*d)[4], 0xfe);
    EXPECT_EQ((*d)[7], 0xff);
    EXPECT_EQ((*d)[8], 'u');
    EXPECT_EQ((*d)[9], '1');
    for (size_t i = 10; i < 34; ++i) EXPECT_EQ((*d)[i], 0) << "byte " << i;
    EXPECT_EQ(KVRRelayPacket::decode(*d)->header.subRoomNo, -2);
}

TEST(KVRRelayPacket, EncodeRefusesWhatDoesNotFit) {
    EXPECT_FALSE(KVRRelayPacket::encode(12, 1, 0, std::string(24, 'x'), {}));
    std::vector<uint8_t> big(KVRRelayPacket::kMaxPayload + 1);
    EXPECT_FALSE(KVRRelayPacket::encode(13, 1, 0, "a", big));
    big.pop_back();
    auto d = KVRRelayPacket::encode(13, 1, 0, "a", big);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->size(), KVRRelayPacket::kMaxDatagram);
}

TEST(KVRRelayPacket, DecodeChecksLengths) {
    auto good = *KVRRelayPacket::encode(14, 1, 3, "user", bytesOf("abcd"));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
        KVRRelayPacket::DecodeError error;
    };
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0xee);
    std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 34);
    std::vector<uint8_t> oneShort(good.begin(), good.begin() + 33);
    std::vector<uint8_t> idWithoutNul = good;
    for (size_t i = 8; i < 32; ++i) idWithoutNul[i] = 'z';
    const Case cases[] = {
        {"empty", {}, false, KVRRelayPacket::DecodeError::Short},
        {"one byte", {12}, false, KVRRelayPacket::DecodeError::Short},
        {"33 bytes", oneShort, false, KVRRelayPacket::DecodeError::Short},
        {"header announcing 4 with none", headerOnly, false, KVRRelayPacket::DecodeError::Truncated},
        {"one payload byte missing", truncated, false, KVRRelayPacket::DecodeError::Truncated},
        {"exact", good, true, KVRRelayPacket::DecodeError::None},
        {"trailing byte", trailing, true, KVRRelayPacket::DecodeError::None},
        {"id field without NUL", idWithoutNul, true, KVRRelayPacket::DecodeError::None},
    };
    for (const auto& c : cases) {
        KVRRelayPacket::DecodeError why;
        auto d = KVRRelayPacket::decode(c.bytes, &why);
        EXPECT_EQ(d.has_value(), c.ok) << c.name;
        EXPECT_EQ(why, c.error) << c.name;
        if (d) EXPECT_EQ(d->payload.size(), 4u) << c.name;  // never the trailing byte
    }
    // The id is read only within its field.
    EXPECT_EQ(KVRRelayPacket::decode(idWithoutNul)->header.userID, std::string(24, 'z'));
}

TEST(KVRRelayPacket, ClassificationAndRelayedCommands) {
    using K = KVRRelayPacket::Kind;
    const std::pair<uint8_t, K> table[] = {
        {1, K::Reply},  {31, K::Reply}, {32, K::Reply}, {50, K::Reply}, {12, K::Audio},      {41, K::Audio},
        {13, K::Video}, {42, K::Video}, {14, K::Doc},   {43, K::Doc},   {15, K::Text},       {44, K::Text},
        {30, K::AliveCheck}, {0, K::Other}, {11, K::Other}, {16, K::Other}, {45, K::Other}, {255, K::Other},
    };
    for (auto [command, kind] : table) EXPECT_EQ(KVRRelayPacket::classify(command), kind) << int(command);
    EXPECT_EQ(KVRRelayPacket::relayedCommand(12), 41);
    EXPECT_EQ(KVRRelayPacket::relayedCommand(15), 44);
    EXPECT_EQ(KVRRelayPacket::relayedCommand(30), 30);
    EXPECT_EQ(KVRRelayPacket::relayedCommand(41), 41);
}
