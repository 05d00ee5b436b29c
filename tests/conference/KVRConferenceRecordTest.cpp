// User and sub-room records, their lists, the shared file log and the registry's owner look-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/KVRConferenceTime.h"
#include "app/KVRLog.h"
#include "conference/KVRConferenceShareFileList.h"
#include "conference/KVRConferenceTestSupport.h"

using namespace kvrtest;

namespace {
std::string logText() {
    std::ifstream in(KVRLogSettings::currentLogFile());
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace

TEST(KVRConferenceUserInfo, ReadsEveryFieldByPosition) {
    auto d = KVRConferenceUserInfo::parse(userRecord("u1", "101", "Ann Lee") + "\x02");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->_userID, "u1");
    EXPECT_EQ(d->_gender, 1);
    EXPECT_EQ(d->_alias, "Ann Lee");
    EXPECT_EQ(d->_loginStatus, 2);
    EXPECT_EQ(d->_camStatus, 1);
    EXPECT_EQ(d->_micStatus, 0);
    EXPECT_EQ(d->_userStatus, 3);
    EXPECT_EQ(d->_ctrlStatus, 4);
    EXPECT_EQ(d->_localIP, "10.0.0.1");
    EXPECT_EQ(d->_userType, 101);
    EXPECT_EQ(d->_natIP, "1.2.3.4");
    EXPECT_EQ(d->_natPort, 7081);
    EXPECT_EQ(d->_gatewayIP, "192.168.0.1");
    EXPECT_EQ(d->_loginTime, "2024-03-01 10:00:00");
}

TEST(KVRConferenceUserInfo, RejectsBadRecordsAndKeepsTheOldOne) {
    const std::string good = userRecord("u1", "0");
    std::string sixteen = good.substr(0, good.rfind('\x01'));
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"16 fields", sixteen},
        {"17th field after the record end", sixteen + "\x02" + "\x01" + "late"},
        {"no user ID", userRecord("", "0")},
        {"not UTF-8", userRecord("u\xC3", "0")},
        {"empty", ""},
    };
    KVRConferenceUserInfo info;
    ASSERT_TRUE(info.setData(userRecord("keep", "100")));
    for (const auto& c : cases) {
        EXPECT_FALSE(KVRConferenceUserInfo::parse(c.text)) << c.name;
        EXPECT_FALSE(info.setData(c.text)) << c.name;
        EXPECT_EQ(info.userID(), "keep") << c.name;
        EXPECT_EQ(info.userType(), 100) << c.name;
    }
    EXPECT_NE(logText().find("User record rejected (16 fields"), std::string::npos);
}

TEST(KVRConferenceUserInfo, WriterRoundTripsAndCannotShiftFields) {
    KVRConferenceUserInfo::Data d;
    d._userID = "u7";
    d._alias = "Bad\x01" "Alias\x02";
    d._gender = 2;
    d._camStatus = 1;
    d._micStatus = 1;
    d._loginStatus = 5;
    d._userStatus = -3;
    d._ctrlStatus = 9;
    d._userType = 103;
    d._loginTime = "2024-03-01 09:00:00";
    d._localIP = "10.1.1.1";
    d._gatewayIP = "10.1.1.254";
    d._natIP = "5.6.7.8";
    d._natPort = 40000;
    auto text = KVRConferenceUserInfo::toRecord(d);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\x01'), 16);
    auto back = KVRConferenceUserInfo::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->_alias, "BadAlias");
    d._alias = "BadAlias";
    EXPECT_EQ(KVRConferenceUserInfo::toRecord(*back), KVRConferenceUserInfo::toRecord(d));
    EXPECT_EQ(back->_natPort, 40000);
    EXPECT_EQ(back->_userStatus, -3);
    EXPECT_EQ(back->_gatewayIP, "10.1.1.254");
}

TEST(KVRConferenceUserList, ListTextKeepsFirstRecordOfAnIdAndSkipsBadPieces) {
    KVRConferenceUserList list;
    std::string text = userRecord("a", "0", "First") + "\x02" + "garbage\x01" "x" + "\x02" + userRecord("b", "100") +
                       "\x02" + userRecord("a", "101", "Second") + "\x02" + "\x02";
    EXPECT_EQ(list.setData(text), 2u);
    EXPECT_EQ(list.getAlias("a"), "First");
    EXPECT_EQ(list.getUserType("a"), 0);
    EXPECT_FALSE(list.addUserEx(userRecord("b", "0", "Other")));
    EXPECT_EQ(list.getUserType("b"), 100);
    EXPECT_EQ(list.getUserType("zz"), -1);
    EXPECT_FALSE(list.getAlias("zz"));
    EXPECT_EQ(list.getAt(2), nullptr);
    EXPECT_EQ(list.getAt(1)->userID(), "b");

    // setData replaces, never merges.
    EXPECT_EQ(list.setData(userRecord("c", "0")), 1u);
    EXPECT_FALSE(list.isExist("a"));

    // addUser reads a payload buffer up to its zero byte only.
    std::string buffer = userRecord("d", "0") + std::string(1, '\0') + "\x01" "junk";
    EXPECT_TRUE(list.addUser(buffer));
    EXPECT_EQ(list.getAtByID("d")->data()._loginTime, "2024-03-01 10:00:00");
    EXPECT_TRUE(list.removeAtUser("d"));
    EXPECT_FALSE(list.removeAtUser("d"));
    EXPECT_EQ(list.count(), 1u);
}

TEST(KVRConferenceUserList, LecturerAndOwnerLookups) {
    Room room("own");
    EXPECT_FALSE(room.users->isExistOwner());
    EXPECT_EQ(KVRGlobalData::getSeminarVideoCtrlUserInfo(), nullptr);
    room.users->setData(userRecord("s1", "0") + "\x02" + userRecord("t2", "103") + "\x02" + userRecord("own", "100") +
                        "\x02");
    EXPECT_TRUE(room.users->isExistOwner());
    EXPECT_EQ(room.users->getSeminarVideoCtrlUserInfo()->userID(), "t2");
    // The registry's operation answers with the room owner's record, whatever the types.
    ASSERT_NE(KVRGlobalData::getSeminarVideoCtrlUserInfo(), nullptr);
    EXPECT_EQ(KVRGlobalData::getSeminarVideoCtrlUserInfo()->userID(), "own");
    room.rooms->setOwnerID("s1");
    EXPECT_EQ(KVRGlobalData::getSeminarVideoCtrlUserInfo()->userID(), "s1");
    KVRGlobalData::sharedGlobalData()->setConferenceUserList(nullptr);
    EXPECT_EQ(KVRGlobalData::getSeminarVideoCtrlUserInfo(), nullptr);
}

TEST(KVRSubroomInfo, ParsesWritesAndRejectsShortRecords) {
    auto d = KVRSubroomInfo::parse(roomRecord("12", "own", "30") + "\x02");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->_roomno, 12);
    EXPECT_EQ(d->_ownerID, "own");
    EXPECT_EQ(d->_captainID, "captain");
    EXPECT_EQ(d->_regDate, "2024-03-01");
    EXPECT_EQ(d->_name, "Physics");
    EXPECT_EQ(d->_roomStyle, 1);
    EXPECT_EQ(d->_password, "pw");
    EXPECT_EQ(d->_maxUserCount, 30);
    EXPECT_EQ(d->_roomType, 5);
    EXPECT_EQ(d->_currentUserCount, 3);
    EXPECT_EQ(d->_picturePath, "pic.png");
    EXPECT_FALSE(d->_selected);
    EXPECT_EQ(KVRSubroomInfo::toRecord(*d), roomRecord("12", "own", "30"));

    auto full = roomRecord("12", "own", "30");
    std::string ten = full.substr(0, full.rfind('\x01'));
    EXPECT_FALSE(KVRSubroomInfo::parse(ten));
    EXPECT_FALSE(KVRSubroomInfo::parse(ten + "\x02" + "\x01" + "x"));
    EXPECT_FALSE(KVRSubroomInfo::parse(roomRecord("12", "\xFF", "30")));

    // Leading digits only, as the server's integers are read.
    auto loose = KVRSubroomInfo::parse(roomRecord("77abc", "o", "x9"));
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->_roomno, 77);
    EXPECT_EQ(loose->_maxUserCount, 0);

    KVRSubroomInfo::Data named = *d;
    named._name = "A\x01" "B";
    EXPECT_EQ(KVRSubroomInfo::parse(KVRSubroomInfo::toRecord(named))->_name, "AB");
}

TEST(KVRSubroomList, SelectionQueries) {
    KVRSubroomList list;
    EXPECT_EQ(list.getSelectedSubRoomNo(), -1);
    EXPECT_EQ(list.getMaxUserCount(), 0);
    EXPECT_EQ(list.getSelectedSubRoomInfo(), nullptr);
    EXPECT_EQ(list.getOwnerID(), "");
    EXPECT_FALSE(list.isOwner(""));

    EXPECT_EQ(list.setData(roomRecord("1", "o1", "10") + "\x02" + "short\x02" + roomRecord("2", "o2", "20") + "\x02"), 2u);
    EXPECT_EQ(list.getSelectedSubRoomNo(), -1);
    EXPECT_FALSE(list.setSelectedRoomInfo("1\x01" "2"));
    EXPECT_TRUE(list.setSelectedRoomInfo(roomRecord("3", "o3", "30")));
    EXPECT_TRUE(list.setSelectedSubRoomNo(1));
    EXPECT_FALSE(list.setSelectedSubRoomNo(99));
    // With two selected records the number is the last one's, everything else the first one's.
    EXPECT_EQ(list.getSelectedSubRoomNo(), 3);
    EXPECT_EQ(list.getOwnerID(), "o1");
    EXPECT_EQ(list.getMaxUserCount(), 10);
    EXPECT_EQ(list.getCurrentUserCount(), 3);
    EXPECT_TRUE(list.isOwner("o1"));
    EXPECT_FALSE(list.isOwner("o3"));

    useConfig(" /UID:o1");
    EXPECT_TRUE(list.isOwner());
    EXPECT_TRUE(list.updateUserCount(2, -5));
    EXPECT_EQ(list.getSubRoomObject(2)->currentUserCount(), 3 - 5);
    EXPECT_FALSE(list.updateUserCount(42, 1));

    std::string text = list.getListText();
    KVRSubroomList copy;
    EXPECT_EQ(copy.setData(text), 3u);
    EXPECT_EQ(copy.getListText(), text);
}

TEST(KVRSubroomList, UpdateReportsEachFailureAndKeepsTheSelection) {
    KVRSubroomList list;
    list.setSelectedRoomInfo(roomRecord("12", "own", "9"));
    struct Case {
        std::string text;
        const char* line;
    } cases[] = {
        {"", "서버룸 업데이트 오류 - 1"},
        {"\x02" + roomRecord("12", "x", "1"), "서버룸 업데이트 오류 - 1"},
        {"12\x01" "only", "서버룸 업데이트 오류 - 2"},
        {roomRecord("13", "x", "1"), "서버룸 업데이트 오류 - 3"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(list.updateSubRoomInfo(c.text)) << c.line;
        EXPECT_NE(logText().find(c.line), std::string::npos) << c.line;
    }
    EXPECT_EQ(list.getOwnerID(), "own");
    EXPECT_TRUE(list.updateSubRoomInfo(roomRecord("12", "new", "40") + "\x02" + roomRecord("13", "n", "1")));
    EXPECT_EQ(list.getOwnerID(), "new");
    EXPECT_EQ(list.getMaxUserCount(), 40);
    EXPECT_EQ(list.getSelectedSubRoomNo(), 12);
}

TEST(KVRConferenceShareFileList, ReportsOnlyFilesSharedInsideTheLectureWindow) {
    useConfig(" /ROT:2024-03-01 10:00:00 /RCT:2024-03-01 11:00:00");
    auto at = [](const char* text) { return *KVRGlobalData::stringDateToNSDate(text); };
    auto now = at("2024-03-01 09:59:59");
    KVRConferenceShareFileList log([&] { return now; });
    log.addLog(0, 0, "/tmp/kvr/early.pdf");
    now = at("2024-03-01 10:00:00");
    log.addLog(0, 0, "/tmp/kvr/a.pdf");
    now = at("2024-03-01 11:00:00");
    log.addLog(0, 0, "/home/u/b c.png");
    now = at("2024-03-01 11:00:01");
    log.addLog(0, 0, "/tmp/late.jpg");
    EXPECT_EQ(log.getShareFiles(), (std::vector<std::string>{"/tmp/kvr/early.pdf", "/tmp/kvr/a.pdf", "/home/u/b c.png",
                                                             "/tmp/late.jpg"}));
    EXPECT_EQ(log.getShareFileString(), "a.pdf,b c.png,");
    EXPECT_EQ(KVRConferenceShareFileList().getShareFileString(), "");
}
