// The real control client against the development server on loopback.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "KVRDevServer.h"
#include "control/KVRMainServer.h"
#include "control/KVRServerAlarmSink.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "support/KVRTempDir.h"

using namespace std::chrono_literals;

namespace {
class RecordingSink : public KVRServerAlarmSink {
public:
    void serverAlarmPacket(const KVRControlPacket& p) override {
        std::lock_guard l(m_);
        commands_.push_back(p.command);
        cv_.notify_all();
    }
    void criticalError(const std::string& text) override { critical_ = text; }

    std::vector<uint16_t> waitFor(size_t n) {
        std::unique_lock l(m_);
        cv_.wait_for(l, 5s, [&] { return commands_.size() >= n; });
        return commands_;
    }
    std::string critical_;

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint16_t> commands_;
};

KVRMainServer::Timing shortTiming() {
    KVRMainServer::Timing t;
    t.replyWait = 3000ms;
    t.connectPoll = 20ms;
    t.userInfoPause = 0ms;
    return t;
}
}  // namespace

TEST(KVRDevServerClient, TheOtherClientSeesEnterStateCommandAnnouncementAndExitInOrder) {
    KVRTempDir data;
    KVRDevServerOptions o;
    o.dataFolder = data.str();
    KVRDevServer server(o);
    ASSERT_TRUE(server.start());
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto sinkA = std::make_shared<RecordingSink>(), sinkB = std::make_shared<RecordingSink>();
    KVRMainServer a(loop, shortTiming()), b(loop, shortTiming());
    a.setAlarmSink(sinkA);
    b.setAlarmSink(sinkB);
    ASSERT_TRUE(a.connectToServer("127.0.0.1", server.ports().main));
    ASSERT_TRUE(b.connectToServer("127.0.0.1", server.ports().main));

    ASSERT_TRUE(a.getServerTime());
    ASSERT_TRUE(a.loginWithRegister("lec", "lec", "Lecturer"));
    auto info = a.getLectureRoomInfo("lec", KVRMainServer::kTopRoomNo);
    ASSERT_TRUE(info);
    const int64_t room = std::stoll(info->payloadText());
    ASSERT_TRUE(a.getSubRoomInfo(room));
    EXPECT_EQ(a.isUserInRoom("lec", room), std::optional<bool>(false));
    ASSERT_TRUE(a.updateSubRoomEx(999, room, "Physics", "lec", "lec", "lec", 10));
    ASSERT_TRUE(a.enterSubRoom(room, "lec", 0, false, true));
    EXPECT_EQ(a.isUserInRoom("lec", room), std::optional<bool>(true));
    EXPECT_FALSE(a.getConfInfo(room)) << "no state yet";

    ASSERT_TRUE(b.loginWithRegister("stu", "stu", "Student"));
    EXPECT_TRUE(b.updateAlias("Student"));
    EXPECT_TRUE(b.registerNetInfo("127.0.0.1", 7081, "127.0.0.1", "127.0.0.1", 7081));
    EXPECT_TRUE(b.updateOwnInfo('Y', 'Y', 'Y', "127.0.0.1"));
    ASSERT_TRUE(b.enterSubRoom(room, "stu", 0, false, true));
    auto users = b.getSubRoomUserListAll(room, 0, 150);
    ASSERT_TRUE(users);
    EXPECT_NE(users->payloadText().find("stu"), std::string::npos);
    ASSERT_TRUE(b.getUserInfoWithNATInfo("lec"));
    const std::string state = std::to_string(room) +
                              "\x01lec\x01lec\x01lec\x01lec\x01" "2\x01" "10\x01lec|0|lec|\x01|100|1|0|\x01lec|\x01lec|\x01lec|\x01lec|\x02";
    ASSERT_TRUE(b.setConfInfo(state));
    ASSERT_TRUE(b.sendToClient(room, 1));
    ASSERT_TRUE(b.sendDocPacketEx(19, "0\x01" "Doc\x01Page 1\x01" "a.png"));
    ASSERT_TRUE(b.enterSubRoomNotify(room));
    ASSERT_TRUE(b.exitSubRoom(room, "stu"));
    EXPECT_EQ(sinkA->waitFor(5), (std::vector<uint16_t>{55, 128, 854, 208, 56}));
    EXPECT_TRUE(a.getConfInfo(room));

    // A portal poll record is answered by 898, which ends the wait and is dispatched as well.
    EXPECT_TRUE(a.sendEnqueteRegister("1\x01" "2\x01" "Yes or no?"));
    EXPECT_EQ(sinkA->waitFor(6).back(), 898);

    // The server dropping the connection reaches the client's critical-error path.
    server.closeConnectionsOf("stu");
    for (int i = 0; i < 200 && sinkB->critical_.empty(); ++i) {
        std::this_thread::sleep_for(10ms);
        loop->runPending();
    }
    EXPECT_FALSE(sinkB->critical_.empty());
    a.disconnectFromServer();
    b.disconnectFromServer();
}
