// Payload building, MD5, the reply semaphore, packet classification and stream framing: the parts of the
// control client that need no socket.
#include <gtest/gtest.h>

#include <string>

#include "control/KVRControlPayload.h"
#include "control/KVRControlTestRig.h"
#include "control/KVRMainServer.h"
#include "control/KVRReplySemaphore.h"

using namespace std::chrono_literals;
using Class = KVRMainServer::PacketClass;

TEST(KVRControlPayload, JoinsFieldsAndCutsAtTheLargestPayload) {
    KVRControlPayload p;
    p.number(12).sep(KVRControlPayload::kField).field("abc").sep(KVRControlPayload::kRecord);
    EXPECT_EQ(p.text(), std::string("12\x01" "abc\x02"));

    KVRControlPayload big;
    big.raw(std::string(40000, 'x'));
    EXPECT_EQ(big.text().size(), 38399u);
}

TEST(KVRControlPayload, ValueFieldsLoseSeparatorsButRawTextsKeepThem) {
    // A separator inside a value would split the record on the server and shift every later field.
    KVRControlPayload p;
    p.field(std::string("a\x01" "b\x02" "c\x04" "d\0e", 9));
    EXPECT_EQ(p.text(), "abcde");

    KVRControlPayload r;
    r.raw(std::string("a\x01" "b|c\0tail", 10));
    EXPECT_EQ(r.text(), std::string("a\x01" "b|c"));
}

TEST(KVRMainServer, Md5IsLowerCaseHex) {
    EXPECT_EQ(KVRMainServer::md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(KVRMainServer::md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(KVRMainServer::md5("\xc3\xa9"), "66ddcd97cfdeabb2f6fb8a999b4bc76f");
}

TEST(KVRMainServer, ClassifiesEveryKindOfPacket) {
    struct Case {
        uint16_t command;
        uint16_t sendCommand;
        Class expected;
    } cases[] = {
        {97, 97, Class::Dropped},     // a keep-alive answer never wakes, even a request of 97
        {1104, 0, Class::Dropped},   {1105, 1105, Class::Dropped}, {1106, 9, Class::Dropped},
        {898, 894, Class::Portal},    // wakes whatever waits
        {898, 0, Class::Portal},
        {55, 55, Class::Event},       // an event never doubles as a reply
        {854, 853, Class::Event},    {3, 0, Class::Event},         {752, 9, Class::Event},
        {175, 175, Class::Reply},    {1101, 1101, Class::Reply},
        {38, 175, Class::Noise},      // a reply to another request
        {0, 0, Class::Noise},         // nothing was asked yet
        {65535, 9, Class::Noise},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KVRMainServer::classifyPacket(c.command, c.sendCommand), c.expected)
            << "command " << c.command << " while waiting for " << c.sendCommand;
}

TEST(KVRReplySemaphore, SignalsNeedASemaphoreAndRenewDiscardsThem) {
    KVRReplySemaphore s;
    s.signal();  // before the first wait there is no semaphore: lost
    EXPECT_FALSE(s.exists());
    EXPECT_EQ(s.wait(10ms), KVRReplySemaphore::WaitResult::TimedOut);

    s.signal();
    s.signal();
    EXPECT_EQ(s.count(), 2);
    s.ensure();  // keeps pending signals
    EXPECT_EQ(s.wait(10ms), KVRReplySemaphore::WaitResult::Signalled);
    s.renew();  // drops the other
    EXPECT_EQ(s.wait(10ms), KVRReplySemaphore::WaitResult::TimedOut);

    s.abort();
    EXPECT_EQ(s.wait(0ms), KVRReplySemaphore::WaitResult::Aborted);  // no endless wait after the loss
    s.reset();
    s.signal();
    EXPECT_EQ(s.wait(0ms), KVRReplySemaphore::WaitResult::Signalled);
}

TEST(KVRReplySemaphore, ASignalFromAnotherThreadEndsAnUnlimitedWait) {
    KVRReplySemaphore s;
    s.ensure();
    std::thread t([&] {
        std::this_thread::sleep_for(5ms);
        s.signal();
    });
    EXPECT_EQ(s.wait(0ms), KVRReplySemaphore::WaitResult::Signalled);
    t.join();
}

namespace {
std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
}  // namespace

TEST(KVRMainServer, FramesSplitAndMergedPacketsEachOnceAndWhole) {
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto sink = std::make_shared<KVRRecordingSink>(loop);
    KVRMainServer server(loop, kvrFastTiming());
    server.setAlarmSink(sink);

    auto stream = concat({KVRControlPacket::encode(55, 2, std::string("u1\x01" "Alias\x02")),
                          KVRControlPacket::encode(97, 2, ""), KVRControlPacket::encode(128, 2, "state"),
                          KVRControlPacket::encode(854, 2, std::string(3000, 'c'))});
    for (uint8_t b : stream) EXPECT_TRUE(server.receivedBytes(std::span<const uint8_t>(&b, 1)));
    EXPECT_TRUE(server.receivedBytes(stream));  // the same four merged into one read

    auto events = sink->events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(sink->eventCommands(), (std::vector<uint16_t>{55, 128, 854, 55, 128, 854}));
    EXPECT_EQ(events[0].payloadText(), std::string("u1\x01" "Alias\x02"));
    EXPECT_EQ(events[2].payload.size(), 3000u);
}

TEST(KVRMainServer, AnOversizedHeaderIsRefusedAndNothingOfItIsHandled) {
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto sink = std::make_shared<KVRRecordingSink>(loop);
    KVRMainServer server(loop, kvrFastTiming());
    server.setAlarmSink(sink);
    // Header claiming 38400 payload bytes, after one good event in the same read.
    auto stream = concat({KVRControlPacket::encode(56, 2, "u1"), {0x37, 0, 2, 0, 0, 0, 0x00, 0x96}});
    EXPECT_FALSE(server.receivedBytes(stream));
    EXPECT_EQ(sink->eventCommands(), std::vector<uint16_t>{56});
}

TEST(KVRMainServer, UserInRoomQueryQuotesTheUserID) {
    struct Case {
        std::string userID;
        std::optional<std::string> where;
    } cases[] = {
        {"stu01", "curnrmusrinf_userid='stu01' and curnrmusrinf_roomno=12"},
        {"o'neil", "curnrmusrinf_userid='o''neil' and curnrmusrinf_roomno=12"},
        {"x' or '1'='1", "curnrmusrinf_userid='x'' or ''1''=''1' and curnrmusrinf_roomno=12"},
        {std::string("a\x01" "b"), std::nullopt},
        {"a\\'", std::nullopt},
    };
    for (const auto& c : cases) {
        auto sql = KVRMainServer::userInRoomQuery(c.userID, 12);
        if (!c.where) {
            EXPECT_FALSE(sql) << c.userID;
            continue;
        }
        ASSERT_TRUE(sql) << c.userID;
        EXPECT_EQ(*sql, "select count(curnrmusrinf_userid) from currentroomuserinfo where " + *c.where);
    }
}
