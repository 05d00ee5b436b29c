#include <gtest/gtest.h>

#include "../conference/KVRDispatchTestSupport.h"
#include "app/KVRTextSplit.h"
#include "portal/KVRQuilloraLog.h"

using namespace kvrtest;

namespace {
const std::string kLaunch =
    " /UID:u1 /ALS:Ann /NTP:0 /TIK:tk /TID:t1 /RNM:Physics /MAX:30 /SIK:sk /CIK:ck /ROT:0900 /RCT:1000";
std::string tail() { return join({"u1", "Ann", "0", "tk", "t1", "Physics", "30", "17", "sk", "ck", "0900", "1000"}); }
}  // namespace

TEST(KVRQuilloraLog, RecordsCarryTheirFieldsAndTheCommonTail) {
    useConfig(kLaunch);
    Room room("own");
    auto control = std::make_shared<FakeControl>();
    KVRQuilloraLog log(control);
    EXPECT_TRUE(log.sendLog(KVRQuilloraLog::Out));
    EXPECT_FALSE(log.sendLog(7));
    log.sendEnqueteReqister(0x4000, "Yes?");
    log.sendEnqueteReqister(0x2000, "Which?");
    EXPECT_TRUE(log.sendEnqueteAnswer(3, "B"));
    EXPECT_TRUE(log.sendVODLog("/tmp/x/rec.mp4"));  // not the owner, outside a seminar room
    EXPECT_TRUE(log.sendChatLog("/tmp/chat.rtf"));
    EXPECT_TRUE(log.sendChatLog("/tmp/chat2.rtf"));  // second time: nothing sent
    EXPECT_FALSE(log.sendConferenceShareFileLog());  // not a seminar room
    EXPECT_FALSE(log.isLoggedShareFile());

    ASSERT_EQ(control->sent.size(), 6u);
    const std::pair<const char*, std::string> expected[] = {
        {"log", join({"12", "Out"}) + "\x01" + tail()},
        {"enqReg", join({"12", "2", "Yes?"}) + "\x01" + tail()},
        {"enqReg", join({"12", "1", "Which?"}) + "\x01" + tail()},
        {"enqAns", join({"12", "B"}) + "\x01" + tail()},
        {"vod", join({"12", "rec.mp4", "mp4", "", "1", "0", "1"}) + "\x01" + tail()},
        {"vod", join({"12", "chat.rtf", "", "rtf", "0", "1", "1"}) + "\x01" + tail()},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(control->sent[i].request, expected[i].first) << i;
        EXPECT_EQ(control->sent[i].data, expected[i].second) << i;
    }
}

TEST(KVRQuilloraLog, SeparatorBytesInLaunchValuesBecomeBlanks) {
    auto config = useConfig(kLaunch);
    config->setData(" /UID:u1 /ALS:A\x01n\x02n\x04");
    auto control = std::make_shared<FakeControl>();
    KVRQuilloraLog log(control);
    log.sendLog(KVRQuilloraLog::InFail);
    ASSERT_EQ(control->sent.size(), 1u);
    // No selected sub-room: -1; the name keeps its place as the fourth field.
    auto fields = kvr::split(control->sent[0].data, "\x01");
    ASSERT_EQ(fields.size(), 14u);
    EXPECT_EQ(fields[0], "-1");
    EXPECT_EQ(fields[1], "InFail");
    EXPECT_EQ(fields[3], "A n n ");
    EXPECT_EQ(fields[4], "0");
    EXPECT_EQ(fields[5], "(null)");
}

TEST(KVRQuilloraLog, DocumentRecordOnceInASeminarRoom) {
    useConfig(kLaunch + " /MST:9");
    Room room("own");
    auto control = std::make_shared<FakeControl>();
    KVRQuilloraLog log(control);
    EXPECT_TRUE(log.sendConferenceShareFileLog());
    EXPECT_FALSE(log.sendConferenceShareFileLog());
    EXPECT_EQ(control->count("doc"), 1u);
    EXPECT_FALSE(log.sendVODLog("rec.mp4"));  // only a user of type 101 in a seminar room
}
