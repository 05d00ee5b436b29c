// The conference state: both read layouts, the published text, owner change, toggles, zoom table and
// the permission rules.
#include <gtest/gtest.h>

#include <fstream>

#include "conference/KVRConferenceTestSupport.h"
#include "support/KVRTempDir.h"

using namespace kvrtest;
using IDSet = KVRCurrentConferenceInfo::IDSet;

namespace {
const std::string kEnd = "\x02";

// A reply to the state query, fields in reply order (owner/admin first).
std::string replyText(const std::vector<std::string>& fields) { return join(fields) + kEnd; }

std::string fullReply() {
    return replyText({"adm", "spk", "doc", "url", "34", "16", "h|1|c|", "e|150|1|4097|", "a||b||", "s|", "d1|d2|", ""});
}

void expectSameState(const KVRCurrentConferenceInfo& a, const KVRCurrentConferenceInfo& b) {
    EXPECT_EQ(a.dicCurrConfInfo(), b.dicCurrConfInfo());
    EXPECT_EQ(a.dicVideoIDs(), b.dicVideoIDs());
    EXPECT_EQ(a.dicAudioIDs(), b.dicAudioIDs());
    EXPECT_EQ(a.dicDocIDs(), b.dicDocIDs());
    EXPECT_EQ(a.dicChatIDs(), b.dicChatIDs());
}
}  // namespace

TEST(KVRCurrentConferenceInfo, ReplyWithoutStateMakesTheOwnerEverything) {
    for (int mst : {1, 9}) {
        KVRGlobalData::sharedGlobalData()->resetForTesting();
        useConfig(" /UID:me /MST:" + std::to_string(mst));
        Room room("own", 9);
        room.state->setBoardZoom("50");
        ASSERT_TRUE(room.state->setCurrConfInfo("", false));
        auto& s = *room.state;
        for (const auto& id : {s.getOwnerID(), s.getAdminID(), s.getSpeakerID(), s.getDocCtrlID(), s.getUrlCtrlID(),
                               s.getRtcHostID(), s.getRtcCtrlID()})
            EXPECT_EQ(id, "own");
        EXPECT_EQ(s.getConfMode(), mst == 9 ? 0 : 2);
        EXPECT_EQ(s.getScreenType(), "9");
        EXPECT_EQ(s.getBoardZoom(), "50");  // untouched entries keep their values
        EXPECT_EQ(s.getEnqueteValue(), 0);
        for (const auto& set : {s.dicVideoIDs(), s.dicAudioIDs(), s.dicDocIDs(), s.dicChatIDs()})
            EXPECT_EQ(set, IDSet{"own"});
    }
}

TEST(KVRCurrentConferenceInfo, PublishedTextAfterTheDefaultState) {
    useConfig(" /UID:me /MST:1");
    Room room("own", 9);
    ASSERT_TRUE(room.state->setCurrConfInfo("", false));
    EXPECT_EQ(room.state->getInfo(),
              join({"12", "own", "own", "own", "own", "2", "9", "own|0|own|", "|100|0|0|", "own|", "own|", "own|",
                    "own|"}) +
                  kEnd);
    // Missing entries without a default are written as "(null)"; the extra block has its defaults.
    KVRCurrentConferenceInfo fresh;
    EXPECT_EQ(fresh.getInfo(), join({"12", "(null)", "(null)", "(null)", "(null)", "0", "(null)",
                                     "(null)|(null)|(null)|", "(null)|100|0|0|", "", "", "", ""}) +
                                   kEnd);
}

TEST(KVRCurrentConferenceInfo, ReadsTheReplyLayout) {
    useConfig(" /UID:me /MID:lect");
    Room room;  // no selected room: the launch lecturer is the owner
    ASSERT_TRUE(room.state->setCurrConfInfo(fullReply(), false));
    auto& s = *room.state;
    EXPECT_EQ(s.getOwnerID(), "adm");
    EXPECT_EQ(s.getAdminID(), "adm");
    EXPECT_EQ(s.getSpeakerID(), "spk");
    EXPECT_EQ(s.getDocCtrlID(), "doc");
    EXPECT_EQ(s.getUrlCtrlID(), "url");
    EXPECT_EQ(s.getConfMode(), 34);
    EXPECT_EQ(s.getClassScreenType(), 16);
    EXPECT_EQ(s.getRtcHostID(), "h");
    EXPECT_EQ(s.getRtcRun(), "1");
    EXPECT_EQ(s.getRtcCtrlID(), "c");
    EXPECT_EQ(s.getEnlargeVideoID(), "e");
    EXPECT_EQ(s.zoomIndexFromValue(), 12);
    EXPECT_TRUE(s.isChatOn());
    EXPECT_EQ(s.getEnqueteValue(), 4097);
    // Present sets replace everything, the owner added on reading included; empty pieces are skipped.
    EXPECT_EQ(s.dicVideoIDs(), (IDSet{"a", "b"}));
    EXPECT_EQ(s.dicAudioIDs(), IDSet{"s"});
    EXPECT_EQ(s.dicDocIDs(), (IDSet{"d1", "d2"}));
    EXPECT_EQ(s.getChatUserCount(), 0u);
}

TEST(KVRCurrentConferenceInfo, ShortTextsChangeNothing) {
    useConfig(" /UID:me");
    Room room("own");
    ASSERT_TRUE(room.state->setCurrConfInfo(fullReply(), false));
    const KVRCurrentConferenceInfo before(*room.state);
    std::vector<std::string> nine = {"sender", "x", "12", "adm2", "spk2", "doc2", "url2", "0", "4"};
    struct Case {
        const char* name;
        std::string text;
        bool alarm;
    } cases[] = {
        {"reply of 6 fields", replyText({"a", "b", "c", "d", "0", "4"}), false},
        {"alarm of 8 fields", replyText(std::vector<std::string>(nine.begin(), nine.begin() + 8)), true},
        {"not UTF-8", replyText({"a\xE2\x82", "b", "c", "d", "0", "4", "x|"}), false},
        {"fields after the record end", "a" + kEnd + join({"b", "c", "d", "0", "4", "x|", "y|"}), false},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(room.state->setCurrConfInfo(c.text, c.alarm)) << c.name;
        expectSameState(before, *room.state);
    }
}

TEST(KVRCurrentConferenceInfo, AlarmOfNineFieldsSetsUpToTheScreenType) {
    useConfig(" /UID:me");
    Room room("own");
    room.state->setVideoIDs("v|");
    room.state->setRtcRun("1");
    ASSERT_TRUE(room.state->setCurrConfInfo(replyText({"sender", "x", "77", "adm2", "spk2", "doc2", "url2", "32", "4"}), true));
    auto& s = *room.state;
    EXPECT_EQ(s.getSubRoomNo(), 77);
    EXPECT_EQ(s.getOwnerID(), "adm2");
    EXPECT_EQ(s.getAdminID(), "adm2");
    EXPECT_EQ(s.getSpeakerID(), "spk2");
    EXPECT_EQ(s.getDocCtrlID(), "doc2");
    EXPECT_EQ(s.getUrlCtrlID(), "url2");
    EXPECT_EQ(s.getConfMode(), 32);
    EXPECT_EQ(s.getScreenType(), "4");
    EXPECT_EQ(s.getRtcRun(), "1");
    EXPECT_EQ(s.dicVideoIDs(), (IDSet{"own", "v"}));
    EXPECT_EQ(s.dicAudioIDs(), IDSet{"own"});
}

TEST(KVRCurrentConferenceInfo, BothLayoutsRoundTripThroughTheServersTexts) {
    useConfig(" /UID:me");
    Room room("own");
    auto& a = *room.state;
    a.setAdminID("own");
    a.setOwnerID("own");
    a.setSpeakerID("spk");
    a.setDocCtrlID("doc");
    a.setUrlCtrlID("url");
    a.setClassConfMode(0x22);
    a.setClassScreenType(25);
    a.setRTCInfo("h|1|c|");
    a.setETCInfo("e|998|1|8195|");
    a.setVideoIDs("own|v1|v2|");
    a.setAudioIDs("own|");
    a.setDocIDs("");
    a.setChatIDs("c1|");
    a.setSubRoomNo(12);
    const std::string published = a.getInfo();

    auto reply = KVRCurrentConferenceInfo::replyLayoutFromPublished(published);
    auto alarm = KVRCurrentConferenceInfo::alarmLayoutFromPublished("own", published);
    ASSERT_TRUE(reply && alarm);
    KVRCurrentConferenceInfo fromReply, fromAlarm;
    ASSERT_TRUE(fromReply.setCurrConfInfo(*reply, false));
    ASSERT_TRUE(fromAlarm.setCurrConfInfo(*alarm, true));
    // The reply carries no sub-room number; everything else is the same state.
    expectSameState(a, fromAlarm);
    fromReply.setSubRoomNo(12);
    expectSameState(a, fromReply);
    EXPECT_EQ(fromAlarm.getInfo(), published);

    for (auto bad : {std::string(""), std::string("1\x01" "2\x02"), std::string("a\x01" "b\x01" "c")})
        EXPECT_FALSE(KVRCurrentConferenceInfo::replyLayoutFromPublished(bad));
    EXPECT_FALSE(KVRCurrentConferenceInfo::alarmLayoutFromPublished("own", "\xFF\x01" + published));
}

TEST(KVRCurrentConferenceInfo, PublishingNeverLetsAnIdShiftTheFields) {
    useConfig(" /UID:me");
    Room room("own");
    room.state->setCurrConfInfo("", false);
    room.state->changeOwner("own", "ev|il\x01");
    room.state->setEnlargeVideoID("x|y");
    auto published = room.state->getInfo();
    KVRCurrentConferenceInfo back;
    ASSERT_TRUE(back.setCurrConfInfo(*KVRCurrentConferenceInfo::alarmLayoutFromPublished("s", published), true));
    EXPECT_EQ(back.getAdminID(), "ev|il");  // a bar is harmless in a plain field
    EXPECT_EQ(back.getRtcHostID(), "evil");
    EXPECT_EQ(back.getEnlargeVideoID(), "xy");
    EXPECT_EQ(back.getBoardZoom(), "100");
    EXPECT_EQ(back.dicAudioIDs(), IDSet{"evil"});
}

TEST(KVRCurrentConferenceInfo, ChangeOwnerMovesEveryRoleAndSetMembership) {
    KVRCurrentConferenceInfo s;
    s.setAdminID("X");
    s.setVideoIDs("A|V|");
    s.setAudioIDs("A|");
    s.setDocIDs("D|");
    s.setChatIDs("C|A|");
    EXPECT_TRUE(s.changeOwner("A", "B"));
    for (const auto& id : {s.getOwnerID(), s.getAdminID(), s.getSpeakerID(), s.getDocCtrlID(), s.getUrlCtrlID(),
                           s.getRtcHostID(), s.getRtcCtrlID()})
        EXPECT_EQ(id, "B");
    EXPECT_EQ(s.dicChatIDs(), (IDSet{"B", "C"}));
    EXPECT_EQ(s.dicVideoIDs(), (IDSet{"B", "V"}));
    EXPECT_EQ(s.dicAudioIDs(), IDSet{"B"});
    EXPECT_EQ(s.dicDocIDs(), (IDSet{"B", "D"}));

    const KVRCurrentConferenceInfo before(s);
    EXPECT_TRUE(s.changeOwner("B", "B"));
    expectSameState(before, s);
}

TEST(KVRCurrentConferenceInfo, TogglesGiveAndTakeRights) {
    useConfig(" /UID:me");
    Room room("own");
    auto& s = *room.state;
    s.toggleMicPermission("u1");
    EXPECT_EQ(s.dicAudioIDs(), IDSet{"u1"});
    s.toggleMicPermission("u1");
    EXPECT_EQ(s.dicAudioIDs(), IDSet{"own"});
    s.toggleDrawingPermission("u2");
    s.toggleDrawingPermission("u3");
    s.toggleDrawingPermission("u2");
    EXPECT_EQ(s.dicDocIDs(), (IDSet{"own", "u3"}));

    EXPECT_FALSE(s.isChatOn());
    EXPECT_TRUE(s.toggleChatOnOff());
    EXPECT_EQ(s.getChatOnOff(), "1");
    s.toggleChatOnOff();
    EXPECT_EQ(s.getChatOnOff(), "0");
    EXPECT_EQ(s.getEnqueteValue(), -1);
}

TEST(KVRCurrentConferenceInfo, ZoomTable) {
    struct {
        const char* value;
        int index;
    } cases[] = {{"996", 0}, {"998", 2}, {"10", 3}, {"100", 7}, {"150", 12}, {"200", 13}, {"33", 0}, {"", 0}, {"1500", 0}};
    for (const auto& c : cases) EXPECT_EQ(KVRCurrentConferenceInfo::zoomIndexFromValue(c.value), c.index) << c.value;
    KVRCurrentConferenceInfo s;
    EXPECT_TRUE(s.setZoomValueByIndex(13));
    EXPECT_EQ(s.getBoardZoom(), "200");
    EXPECT_FALSE(s.setZoomValueByIndex(14));
    EXPECT_FALSE(s.setZoomValueByIndex(-1));
    EXPECT_EQ(s.getBoardZoom(), "200");
}

namespace {
enum : unsigned { CTRL = 1, DOCCTRL = 2, DRAW = 4, VIDEO = 8, AUDIO = 16, WEB = 32, MONITOR = 64 };

unsigned permissions(const KVRCurrentConferenceInfo& s) {
    return (s.isClassCtrlPermission() ? CTRL : 0) | (s.isClassDocuemntCtrlPermission() ? DOCCTRL : 0) |
           (s.isClassDocuemntDrawPermission() ? DRAW : 0) | (s.isClassLocVideoPermission() ? VIDEO : 0) |
           (s.isClassLocAudioPermission() ? AUDIO : 0) | (s.isClassWebSharePermission() ? WEB : 0) |
           (s.isClassMonitor() ? MONITOR : 0);
}
}  // namespace

TEST(KVRCurrentConferenceInfo, PermissionRulesOverUserTypesAndRooms) {
    struct Case {
        const char* name;
        const char* uid;
        int ntp;
        int mst;
        int maxUsers;
        bool keyPressed;
        unsigned expected;
    } cases[] = {
        {"conference: participant", "s", 0, 1, 9, false, DRAW | VIDEO},
        {"conference: participant holding the key", "s", 0, 1, 9, true, DRAW | VIDEO | AUDIO},
        {"conference: owner", "own", 0, 1, 9, false, CTRL | DOCCTRL | DRAW | VIDEO | AUDIO | WEB},
        {"conference: chair", "adm", 0, 1, 9, false, CTRL | DOCCTRL | DRAW | VIDEO},
        {"conference: drawing member", "drw", 0, 1, 9, false, DOCCTRL | DRAW | VIDEO},
        {"conference: monitor holding the key", "m", 2, 1, 9, true, DRAW | VIDEO | AUDIO | MONITOR},
        {"small conference: participant", "s", 0, 1, 8, false, DRAW | VIDEO | AUDIO},
        {"small conference: monitor", "m", 2, 1, 8, true, DRAW | VIDEO | MONITOR},
        {"seminar: lecturer", "t", 1, 9, 9, false, CTRL | DOCCTRL | DRAW},
        {"seminar: second lecturer", "t", 4, 9, 9, false, CTRL | DOCCTRL | DRAW},
        {"seminar: lecturer owner", "own", 1, 9, 9, false, CTRL | DOCCTRL | DRAW | VIDEO | AUDIO | WEB},
        {"seminar: participant", "s", 0, 9, 9, true, 0},
        {"seminar: speaking member", "spk", 0, 9, 9, false, AUDIO},
        {"seminar: drawing member", "drw", 3, 9, 9, false, DRAW},
        {"seminar: chair participant", "adm", 0, 9, 9, false, 0},
        {"seminar: monitor", "m", 2, 9, 9, false, MONITOR},
    };
    for (const auto& c : cases) {
        KVRGlobalData::sharedGlobalData()->resetForTesting();
        useConfig(std::string(" /UID:") + c.uid + " /NTP:" + std::to_string(c.ntp) + " /MST:" + std::to_string(c.mst));
        Room room("own", c.maxUsers);
        room.state->setAdminID("adm");
        room.state->setAudioIDs("spk|");
        room.state->setDocIDs("drw|");
        room.state->setPressedAudioSendKey(c.keyPressed);
        EXPECT_EQ(permissions(*room.state), c.expected) << c.name;
    }
}

TEST(KVRCurrentConferenceInfo, OtherProductsMayNeitherSendVideoNorSpeak) {
    KVRTempDir dir;
    std::ofstream(dir.path() / "kvrcinfo.txt") << "producttype=1\n";
    for (int mst : {1, 9}) {
        auto config = useConfig(" /UID:own /NTP:1 /MST:" + std::to_string(mst));
        config->getKVRCCpnfig((dir.path() / "kvrcinfo.txt").string());
        Room room("own", 4);
        // Without the portal product a seminar room type means nothing: the conference rules apply.
        EXPECT_EQ(permissions(*room.state), CTRL | DOCCTRL | DRAW | WEB) << mst;
    }
}

TEST(KVRCurrentConferenceInfo, IdentityQueries) {
    useConfig(" /UID:me");
    Room room("own");
    room.users->setData(userRecord("m1", "101") + kEnd + userRecord("s1", "0") + kEnd);
    auto& s = *room.state;
    s.setAdminID("me");
    EXPECT_TRUE(s.isClassAdmin());
    EXPECT_TRUE(s.isAdmin("me"));
    EXPECT_FALSE(s.isClassAdmin("own"));
    EXPECT_FALSE(s.isClassOwner());
    EXPECT_TRUE(s.isClassOwner("own"));
    EXPECT_TRUE(s.isClassMonitor("m1"));
    EXPECT_FALSE(s.isClassMonitor("s1"));
    EXPECT_FALSE(s.isClassMonitor("nobody"));
    // Nobody owns or chairs a room whose owner and chair are unknown, whatever their own ID is.
    KVRGlobalData::sharedGlobalData()->resetForTesting();
    useConfig(" /NTP:0");
    Room empty;
    EXPECT_FALSE(empty.state->isClassOwner(""));
    EXPECT_FALSE(empty.state->isAdmin(""));
    EXPECT_FALSE(empty.state->isClassCtrlPermission());
}

TEST(KVRCurrentConferenceInfo, RecordingPermissions) {
    struct Case {
        const char* launch;
        bool onDemand;
        bool record;
    } cases[] = {
        {" /RTP:1 /RQT:2 /NTP:1 /MST:1", true, true},   {" /RTP:1 /RQT:2 /NTP:4 /MST:1", true, true},
        {" /RTP:1 /RQT:0 /NTP:1 /MST:1", false, false}, {" /RTP:1 /NTP:1 /MST:1 /SRP:1", false, true},
        {" /RTP:0 /RQT:2 /NTP:1 /MST:1", false, false}, {" /RTP:1 /RQT:2 /NTP:2 /MST:9", true, true},
        {" /RTP:1 /RQT:2 /NTP:1 /MST:9", false, false}, {" /RTP:1 /RQT:2 /NTP:0 /SRP:1", false, true},
    };
    for (const auto& c : cases) {
        useConfig(c.launch);
        KVRCurrentConferenceInfo s;
        EXPECT_EQ(s.isHasOnDemandRecordPermission(), c.onDemand) << c.launch;
        EXPECT_EQ(s.isHasRecordPermission(), c.record) << c.launch;
    }
}
