// The request catalogue: the exact bytes each request puts on the wire, and what happens without a
// connection.
#include <gtest/gtest.h>

#include <functional>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRTextSplit.h"
#include "control/KVRControlTestRig.h"

namespace {
std::string s(const char* text, size_t n) { return std::string(text, n); }

struct Golden {
    const char* name;
    std::function<bool(KVRMainServer&)> call;
    uint16_t command;
    std::string payload;
};

std::vector<Golden> catalogue() {
    using M = KVRMainServer;
    const std::string pw = KVRMainServer::md5("stu01");
    return {
        {"getServerTime", [](M& m) { return m.getServerTime().has_value(); }, 177, ""},
        {"loginWithRegister", [](M& m) { return m.loginWithRegister("stu01", "stu01", "Ann").has_value(); }, 9,
         "stu01\x01" + pw + "\x01" "Ann\x01" "Ann\x01" "M\x01\x01\x01\x01\x01\x01\x01\x02"},
        {"updateAlias", [](M& m) { return m.updateAlias("Ann"); }, 22, "Ann\x02"},
        {"updateUserType", [](M& m) { return m.updateUserType(100); }, 124, "100\x02"},
        {"registerNetInfo", [](M& m) { return m.registerNetInfo("127.0.0.1", 7081, "127.0.0.1", "127.0.0.1", 7081); },
         173, "127.0.0.1\x01" "7081\x01" "127.0.0.1\x01" "127.0.0.1\x01" "7081\x02"},
        {"updateOwnInfo", [](M& m) { return m.updateOwnInfo('Y', 'Y', 'Y', "127.0.0.1"); }, 15,
         "Y\x01Y\x01Y\x01" "127.0.0.1\x02"},
        {"getLectureRoomInfo", [](M& m) { return m.getLectureRoomInfo("t01", 999).has_value(); }, 236,
         "t01\x01" "999\x02"},
        {"getSubRoomInfo", [](M& m) { return m.getSubRoomInfo(12).has_value(); }, 38, "12\x02"},
        {"updateSubRoomEx", [](M& m) { return m.updateSubRoomEx(999, 12, "Math", "t01", "t01", "t01", 50); }, 138,
         "999\x01" "12\x01" "Math\x01t01\x01t01\x01t01\x01" "50\x02"},
        {"enterSubRoom", [](M& m) { return m.enterSubRoom(12, "stu01", 0, false, true); }, 54,
         "12\x01stu01\x01" "0\x01" "0\x01" "1\x02"},
        {"enterSubRoomNotify", [](M& m) { return m.enterSubRoomNotify(12); }, 46, "12\x02"},
        {"exitSubRoom", [](M& m) { return m.exitSubRoom(12, "stu01"); }, 51, "12\x01stu01\x02"},
        {"getSubRoomUserListAll", [](M& m) { return m.getSubRoomUserListAll(12, 0, 150).has_value(); }, 175,
         s("12\x01" "0\x01" "150\x01", 9)},
        {"getUserInfoWithNATInfo", [](M& m) { return m.getUserInfoWithNATInfo("stu02").has_value(); }, 176,
         "stu02\x01"},
        {"getConfInfo", [](M& m) { return m.getConfInfo(12).has_value(); }, 127, "12\x01"},
        {"setConfInfo", [](M& m) { return m.setConfInfo("ownerid=t01|\x01" "confmode=0|\x02"); }, 114,
         "ownerid=t01|\x01" "confmode=0|\x02"},
        {"getSharedDocumentListCount", [](M& m) { return m.getSharedDocumentListCount(12).has_value(); }, 480,
         "12\x01"},
        {"getSharedDocumentList", [](M& m) { return m.getSharedDocumentList(12, 10, 10).has_value(); }, 481,
         "12\x01" "10\x01" "10\x02"},
        {"addShareDocument", [](M& m) { return m.addShareDocument(12, "Slides", "Page 1", "f_1.pdf"); }, 218,
         "12\x01Slides\x01Page 1\x01" "f_1.pdf\x02"},
        {"updateShareDocumentActive", [](M& m) { return m.updateShareDocumentActive(12, "f_1.pdf", 1); }, 223,
         "12\x01" "f_1.pdf\x01" "1\x02"},
        {"deleteDocContentByTitle", [](M& m) { return m.deleteDocContentByTitle(12, "Slides"); }, 221,
         "12\x01Slides\x02"},
        {"deleteDocContentByFilename", [](M& m) { return m.deleteDocContentByFilename(12, "f_1.pdf"); }, 220,
         "12\x01" "f_1.pdf\x02"},
        {"sendDocPacket", [](M& m) { return m.sendDocPacket(22, "http://h/p"); }, 224, "22\x01http://h/p"},
        {"sendDocPacketEx", [](M& m) { return m.sendDocPacketEx(19, "a\x01" "b"); }, 224, "19\x01" "a\x01" "b"},
        {"sendToClient without data", [](M& m) { return m.sendToClient(12, 1); }, 853,
         "12\x01\x01" "1\x04\x02"},
        {"sendToClient with data", [](M& m) { return m.sendToClient(12, 7, "on"); }, 853,
         "12\x01\x01" "7\x04on\x04\x02"},
        {"sendToClientEx without data", [](M& m) { return m.sendToClientEx("stu02", 3); }, 853,
         "-1\x01stu02\x01" "3\x04\x02"},
        {"sendToClientEx with data", [](M& m) { return m.sendToClientEx("stu02", 3, "x|y"); }, 853,
         "-1\x01stu02\x01" "3\x04x|y\x04\x02"},
        {"getLLEventUploadServer", [](M& m) { return m.getLLEventUploadServer("rtp1").has_value(); }, 899,
         "rtp1\x02"},
        {"sendQuilloraLog", [](M& m) { return m.sendQuilloraLog("In"); }, 893, "In\x02"},
        {"sendEnqueteRegister", [](M& m) { return m.sendEnqueteRegister("r"); }, 894, "r\x02"},
        {"sendEnqueteAnswer", [](M& m) { return m.sendEnqueteAnswer("a"); }, 895, "a\x02"},
        {"sendQuilloraDocLog", [](M& m) { return m.sendQuilloraDocLog("d"); }, 896, "d\x02"},
        {"sendQuilloraVOD", [](M& m) { return m.sendQuilloraVOD("v"); }, 1100, "v\x02"},
        {"getLLViewUrl", [](M& m) { return m.getLLViewUrl().has_value(); }, 1101, ""},
        {"getLLEnqueteLectureUrl", [](M& m) { return m.getLLEnqueteLectureUrl().has_value(); }, 1102, ""},
        {"getLLEnqueteStudentUrl", [](M& m) { return m.getLLEnqueteStudentUrl().has_value(); }, 1103, ""},
        {"getQuery", [](M& m) { return m.getQuery("select 1", 1).has_value(); }, 620, "select 1\x01" "1\x02"},
        {"isUserInRoom", [](M& m) { return m.isUserInRoom("stu01", 12).has_value(); }, 620,
         "select count(curnrmusrinf_userid) from currentroomuserinfo where curnrmusrinf_userid='stu01' and "
         "curnrmusrinf_roomno=12\x01" "1\x02"},
    };
}
}  // namespace

TEST(KVRMainServerRequests, EveryRequestSendsItsExactBytesAndSucceedsOnSubCommandTwo) {
    KVRControlRig rig;
    ASSERT_TRUE(rig.connect());
    size_t seen = 0;
    for (const auto& g : catalogue()) {
        EXPECT_TRUE(g.call(*rig.server)) << g.name;
        auto got = rig.peer.received();
        ASSERT_EQ(got.size(), seen + 1) << g.name;
        const auto& p = got.back();
        ++seen;
        EXPECT_EQ(p.command, g.command) << g.name;
        EXPECT_EQ(p.subCommand, 1) << g.name;
        EXPECT_EQ(p.payloadText(), g.payload) << g.name;
        // The header's length is the text length: no trailing zero byte goes out.
        EXPECT_EQ(rig.server->sendpacket().size(), 8 + g.payload.size()) << g.name;
    }
}

TEST(KVRMainServerRequests, LoginHasTwelveFieldsWithTheFifthM) {
    KVRControlRig rig;
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.server->loginWithRegister("stu01", "secret", "Ann"));
    auto text = rig.peer.received().back().payloadText();
    ASSERT_EQ(text.back(), '\x02');
    auto fields = kvr::split(text.substr(0, text.size() - 1), std::string_view("\x01", 1));
    ASSERT_EQ(fields.size(), 12u);
    EXPECT_EQ(fields[1], KVRMainServer::md5("secret"));
    EXPECT_EQ(fields[4], "M");
    for (size_t i = 5; i < 12; ++i) EXPECT_TRUE(fields[i].empty()) << i;
}

TEST(KVRMainServerRequests, LongTextsAreCutToTheLargestPayload) {
    KVRControlRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.server->setConfInfo(std::string(40000, 'z')));
    auto sent = rig.server->sendpacket();
    ASSERT_EQ(sent.size(), 8u + 38399u);
    EXPECT_EQ(sent[6] | (sent[7] << 8), 38399);
    EXPECT_EQ(rig.peer.received().back().payload.size(), 38399u);

    rig.server->sendPacket(177, 1, std::nullopt);
    EXPECT_EQ(rig.server->sendpacket(), (std::vector<uint8_t>{177, 0, 1, 0, 0, 0, 0, 0}));
}

TEST(KVRMainServerRequests, SeparatorsInsideValueFieldsCannotShiftTheRecord) {
    KVRControlRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.server->exitSubRoom(12, s("stu\x02" "01", 6)));
    EXPECT_EQ(rig.peer.received().back().payloadText(), "12\x01stu01\x02");
}

TEST(KVRMainServerRequests, RepliesAreReadForTheCaller) {
    KVRControlRig rig;
    auto config = std::make_shared<KVRConfig>();
    KVRGlobalData::sharedGlobalData()->setKvrcConfig(config);
    std::string userCount = "1";
    rig.peer.setResponder([&userCount](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 899) peer.send(899, 2, "10.1.2.3\x01" "8021\x02");
        if (p.command == 620) peer.send(620, 2, userCount + "\x01\x02");
    });
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.server->getLLEventUploadServer("rtp1"));
    EXPECT_EQ(config->llEventUploadServerIP(), "10.1.2.3");
    EXPECT_EQ(config->llEventUploadServerPort(), 8021);
    EXPECT_EQ(rig.server->isUserInRoom("stu01", 12), std::optional<bool>(true));
    userCount = "0";
    EXPECT_EQ(rig.server->isUserInRoom("stu01", 12), std::optional<bool>(false));
    EXPECT_EQ(rig.server->isUserInRoom(s("a\x01", 2), 12), std::nullopt);
}

TEST(KVRMainServerRequests, AShortUploadServerReplyStoresNothing) {
    KVRControlRig rig;
    auto config = std::make_shared<KVRConfig>();
    KVRGlobalData::sharedGlobalData()->setKvrcConfig(config);
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 899) peer.send(899, 2, "onlyhost\x02");
        if (p.command == 620) peer.send(620, 2, "");
    });
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.server->getLLEventUploadServer("rtp1"));
    EXPECT_EQ(config->llEventUploadServerPort(), 0);
    EXPECT_EQ(rig.server->isUserInRoom("stu01", 12), std::optional<bool>(false));
}

TEST(KVRMainServerRequests, WithTheConnectionDownEveryRequestFailsWithoutSending) {
    {
        KVRMainServer never(std::make_shared<KVRManualRunLoop>(), kvrFastTiming());
        for (const auto& g : catalogue()) EXPECT_FALSE(g.call(never)) << g.name;
    }
    KVRControlRig rig;
    ASSERT_TRUE(rig.connect());
    rig.server->disconnectFromServer();
    for (const auto& g : catalogue()) EXPECT_FALSE(g.call(*rig.server)) << g.name;
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return rig.peer.clientClosed(); }));
    EXPECT_TRUE(rig.peer.received().empty());
}
