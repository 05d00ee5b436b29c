#include <gtest/gtest.h>

#include "KVRDevRecords.h"
#include "KVRDevServerOptions.h"
#include "conference/KVRConferenceUserInfo.h"
#include "conference/KVRSubroomInfo.h"
#include "server/KVRDevTestClient.h"

namespace R = KVRDevRecords;

TEST(KVRDevRecords, SubRoomRecordHasElevenFieldsInTheirPlaces) {
    KVRDevRoom r;
    r.roomNo = 7;
    r.ownerID = "lec";
    r.captainID = "cap";
    r.regDate = "2024-01-02 03:04:05";
    r.name = "Room";
    r.roomStyle = 4;
    r.password = "pw";
    r.maxUsers = 9;
    r.roomType = 5;
    r.members = {"a", "b", "c"};
    r.picturePath = "pic.png";
    std::string rec = R::subRoomRecord(r);
    ASSERT_EQ(rec.back(), '\x02');
    auto f = kvrFields(rec);
    std::vector<std::string> want = {"7", "lec", "cap", "2024-01-02 03:04:05", "Room", "4", "pw", "9", "5", "3", "pic.png"};
    EXPECT_EQ(f, want);
    // The client's parser reads back what was written.
    auto back = KVRSubroomInfo::parse(rec);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->_currentUserCount, 3);
    EXPECT_EQ(back->_maxUserCount, 9);
    EXPECT_EQ(back->_picturePath, "pic.png");
}

TEST(KVRDevRecords, UserRecordHasSeventeenFieldsInTheirPlaces) {
    KVRDevUser u;
    u.userID = "u1";
    u.gender = 1;
    u.alias = "Ann";
    u.loginStatus = 1;
    u.camFlag = "Y";
    u.micFlag = "N";
    u.userStatus = 2;
    u.ctrlStatus = 3;
    u.localIP = "10.0.0.1";
    u.userType = 100;
    u.natIP = "1.2.3.4";
    u.natPort = 7081;
    u.gatewayIP = "5.6.7.8";
    u.loginTime = "2024-01-02 03:04:05";
    auto f = kvrFields(R::userRecord(u));
    ASSERT_EQ(f.size(), 17u);
    EXPECT_EQ(f[0], "u1");
    EXPECT_EQ(f[1], "1");
    EXPECT_EQ(f[2], "Ann");
    EXPECT_EQ(f[4], "Y");
    EXPECT_EQ(f[5], "N");
    EXPECT_EQ(f[9], "10.0.0.1");
    EXPECT_EQ(f[10], "100");
    EXPECT_EQ(f[11], "1.2.3.4");
    EXPECT_EQ(f[12], "7081");
    EXPECT_EQ(f[13], "5.6.7.8");
    EXPECT_EQ(f[16], "2024-01-02 03:04:05");
    auto back = KVRConferenceUserInfo::parse(R::userRecord(u));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->_camStatus, 1);
    EXPECT_EQ(back->_micStatus, 0);
    EXPECT_EQ(back->_userType, 100);
    EXPECT_EQ(back->_natPort, 7081);
}

// The published record starts with the sub-room number; the query reply starts with the administrator
// and the alarm puts owner and sender in front, so each reader finds its fields where it looks.
TEST(KVRDevRecords, ConferenceStateLayoutsLineUpWithTheReaders) {
    const std::string stored =
        "12\x01" "adm\x01spk\x01" "doc\x01url\x01" "2\x01" "9\x01" "h|0|c|\x01" "|100|1|0|\x01" "a|b|\x01" "a|\x01\x01";
    auto reply = kvrFields(R::confStateReply(stored));
    ASSERT_EQ(reply.size(), 12u);
    EXPECT_EQ(reply[0], "adm");
    EXPECT_EQ(reply[4], "2");
    EXPECT_EQ(reply[7], "|100|1|0|");
    EXPECT_EQ(reply[8], "a|b|");

    auto alarm = kvrFields(R::confStateAlarm("own", "snd", stored));
    ASSERT_EQ(alarm.size(), 15u);
    EXPECT_EQ(alarm[0], "own");
    EXPECT_EQ(alarm[1], "snd");
    EXPECT_EQ(alarm[2], "12");
    EXPECT_EQ(alarm[3], "adm");
    EXPECT_EQ(alarm[7], "2");
    EXPECT_EQ(alarm[8], "9");
    EXPECT_EQ(alarm[11], "a|b|");
}

TEST(KVRDevRecords, IntegersAndUtf8AreCheckedStrictly) {
    struct {
        const char* text;
        std::optional<int64_t> want;
    } ints[] = {{"12", 12}, {"-1", -1}, {"", std::nullopt}, {"12a", std::nullopt}, {" 1", std::nullopt},
                {"99999999999999999999", std::nullopt}};
    for (const auto& c : ints) EXPECT_EQ(R::parseInteger(c.text), c.want) << c.text;

    struct {
        std::string text;
        bool valid;
    } utf8[] = {{"plain", true}, {"caf\xc3\xa9", true}, {"\xe2\x82\xac", true}, {"\xf0\x9f\x98\x80", true},
                {"\xc3", false}, {"\xc0\xaf", false}, {"\xed\xa0\x80", false}, {"\xff", false},
                {"\xe2\x82", false}};
    for (const auto& c : utf8) EXPECT_EQ(R::isValidUtf8(c.text), c.valid) << c.text;
}

TEST(KVRDevServerOptions, ParsesTheCommandLine) {
    std::string err;
    auto o = KVRDevServerOptions::parse({"--main-port", "0", "--relay-port", "7001", "--file-port", "0", "--http-port",
                                         "8080", "--data", "/tmp/x", "--drop-replies", "177,97", "--split-writes"},
                                        err);
    ASSERT_TRUE(o) << err;
    EXPECT_EQ(o->relayPort, 7001);
    EXPECT_EQ(o->httpPort, 8080);
    EXPECT_EQ(o->dataFolder, "/tmp/x");
    EXPECT_EQ(o->dropReplies, (std::set<uint16_t>{97, 177}));
    EXPECT_TRUE(o->splitWrites);
    EXPECT_FALSE(o->mergePackets);

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--main-port"}, {"--main-port", "70000"}, {"--main-port", "x"}, {"--bogus"}, {"--drop-replies", "1,,2"}}) {
        EXPECT_FALSE(KVRDevServerOptions::parse(bad, err)) << bad[0];
        EXPECT_FALSE(err.empty());
    }
}
