// The control client against a scripted peer on loopback: connect, keep-alive, the request cycle with its
// semaphore, classification of what arrives during a request, and the loss of the connection.
#include <gtest/gtest.h>

#include "app/KVRStrings.h"
#include "control/KVRControlTestRig.h"

using namespace std::chrono_literals;

namespace {
// Answers nothing; the test drives the peer by hand.
void silent(const KVRControlPacket&, KVRScriptedPeer&) {}
}  // namespace

TEST(KVRMainServerConnect, SendsAKeepAliveAtOnceAndThenEveryInterval) {
    auto timing = kvrFastTiming();
    timing.aliveInterval = 20ms;
    KVRControlRig rig(timing);
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.server->isConnected());
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return rig.peer.received(true).size() >= 3; }));
    auto first = rig.peer.received(true).front();
    EXPECT_EQ(first.command, 97);
    EXPECT_EQ(first.subCommand, 1);
    EXPECT_TRUE(first.payload.empty());
    EXPECT_EQ(rig.server->sendCommand(), 0);  // keep-alives are not requests
}

TEST(KVRMainServerConnect, FailsFastWhenRefusedAndReportsNoLostConnection) {
    uint16_t closedPort;
    {
        asio::io_context io;
        asio::ip::tcp::acceptor a(io, {asio::ip::make_address("127.0.0.1"), 0});
        closedPort = a.local_endpoint().port();
    }
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto sink = std::make_shared<KVRRecordingSink>(loop);
    KVRMainServer server(loop, kvrFastTiming());
    server.setAlarmSink(sink);
    EXPECT_FALSE(server.connectToServer("127.0.0.1", closedPort));
    EXPECT_FALSE(server.connectToServer("127.0.0.1", 0));
    EXPECT_FALSE(server.connectToServer("127.0.0.1", 70000));
    EXPECT_FALSE(server.isConnected());
    loop->runPending();
    EXPECT_TRUE(sink->errors().empty());  // the caller shows its own connect failure
}

TEST(KVRMainServerCycle, ASuccessReplyReturnsThePacketAndOtherSubCommandsFail) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 127) peer.send(127, 2, std::string("ownerid=t1|\x01"));
        if (p.command == 38) peer.send(38, 5, "room full");
    });
    ASSERT_TRUE(rig.connect());
    auto conf = rig.server->getConfInfo(12);
    ASSERT_TRUE(conf);
    EXPECT_EQ(conf->command, 127);
    EXPECT_EQ(conf->payloadText(), std::string("ownerid=t1|\x01"));
    EXPECT_FALSE(rig.server->getSubRoomInfo(12));
}

TEST(KVRMainServerCycle, KeepAliveAnswersAndOtherCommandsNeverWakeARequest) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 97) return;
        peer.send(97, 2, "");          // keep-alive answer
        peer.send(p.command + 1, 2, "");  // reply to something else
    });
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(rig.server->getConfInfo(12));
    // A request of command 97 itself is not woken by 97 either.
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 97) peer.send(97, 2, "");
    });
    rig.server->sendPacket(97, 1, std::nullopt);
    EXPECT_NE(rig.server->waiting(100ms), 0);
}

TEST(KVRMainServerCycle, AnEventDuringARequestIsQueuedAndDoesNotReleaseIt) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 175) peer.send(55, 2, std::string("u2\x01" "Bo\x02"));
        if (p.command == 127) {
            peer.send(56, 2, "u2");
            peer.send(127, 2, "state");
        }
    });
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(rig.server->getSubRoomUserListAll(12, 0, 150));  // only an event came: time-out
    auto conf = rig.server->getConfInfo(12);
    ASSERT_TRUE(conf);
    EXPECT_EQ(conf->payloadText(), "state");
    EXPECT_EQ(rig.sink->eventCommands(), (std::vector<uint16_t>{55, 56}));
}

TEST(KVRMainServerCycle, PortalAlarmWakesThePendingRequestAndIsDispatched) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 894) peer.send(898, 2, std::string("17\x01ok"));
    });
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.server->sendEnqueteRegister("poll"));
    // The wait is released first; the hand-off to the dispatcher follows on the socket thread.
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return !rig.sink->events().empty(); }));
    ASSERT_EQ(rig.sink->events().size(), 1u);
    EXPECT_EQ(rig.sink->events()[0].command, 898);
    EXPECT_EQ(rig.sink->events()[0].payloadText(), std::string("17\x01ok"));
}

TEST(KVRMainServerCycle, ALateReplyReleasesTheNextPlainWaitButNotAFreshOne) {
    KVRControlRig rig;
    rig.peer.setResponder(silent);
    ASSERT_TRUE(rig.connect());

    EXPECT_FALSE(rig.server->getConfInfo(12));  // times out
    rig.peer.send(127, 2, "late");
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return rig.server->receivedData().has_value(); }));
    // Nobody answers 480, yet the stored late reply releases it at once.
    auto released = rig.server->getSharedDocumentListCount(12);
    ASSERT_TRUE(released);
    EXPECT_EQ(released->command, 127);

    EXPECT_FALSE(rig.server->getConfInfo(12));
    rig.peer.send(127, 2, "late again");
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return rig.server->semaphore().count() == 1; }));
    EXPECT_FALSE(rig.server->getSubRoomInfo(12));  // a fresh wait throws the stale signal away
}

TEST(KVRMainServerCycle, TwoRequestsCountATimeOutAsSuccessAndClearTheStoredReply) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 22) peer.send(22, 2, "");
    });
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.server->updateAlias("Ann"));
    EXPECT_TRUE(rig.server->registerNetInfo("127.0.0.1", 7081, "127.0.0.1", "127.0.0.1", 7081));
    EXPECT_FALSE(rig.server->receivedData());
    EXPECT_TRUE(rig.server->updateOwnInfo('Y', 'Y', 'Y', "127.0.0.1"));
    EXPECT_FALSE(rig.server->enterSubRoomNotify(12));  // an ordinary request does fail on time-out

    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 173) peer.send(173, 3, "");
    });
    EXPECT_FALSE(rig.server->registerNetInfo("127.0.0.1", 7081, "127.0.0.1", "127.0.0.1", 7081));
}

TEST(KVRMainServerLoss, ServerCloseReachesCriticalErrorOnTheMainThreadAndEndsTheWait) {
    auto timing = kvrFastTiming();
    timing.replyWait = 60s;  // the lost connection, not the wait, must end the request
    KVRControlRig rig(timing);
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command == 127) peer.closeConnection();
    });
    ASSERT_TRUE(rig.connect());
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(rig.server->getConfInfo(12));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    EXPECT_FALSE(rig.server->isConnected());
    EXPECT_TRUE(rig.sink->errors().empty());  // not yet: it waits for the main thread
    ASSERT_TRUE(rig.criticalErrorReported());
    EXPECT_EQ(rig.sink->errors(), std::vector<std::string>{KVRStrings::text("IDS_SERVER_DISCONNECTED")});
    EXPECT_TRUE(rig.sink->errorsOnMainThread());
    EXPECT_FALSE(rig.server->updateAlias("x"));
}

TEST(KVRMainServerLoss, OversizedHeaderDropsTheConnectionThroughTheSamePath) {
    KVRControlRig rig;
    rig.peer.setResponder(silent);
    ASSERT_TRUE(rig.connect());
    rig.peer.sendRaw({0x37, 0, 2, 0, 0, 0, 0xff, 0xff});
    ASSERT_TRUE(rig.criticalErrorReported());
    EXPECT_FALSE(rig.server->isConnected());
    EXPECT_TRUE(KVRScriptedPeer::eventually([&] { return rig.peer.clientClosed(); }));
    EXPECT_TRUE(rig.sink->events().empty());
}

TEST(KVRMainServerLoss, OneByteWritesAreReassembled) {
    KVRControlRig rig;
    rig.peer.setResponder([](const KVRControlPacket& p, KVRScriptedPeer& peer) {
        if (p.command != 127) return;
        auto bytes = KVRControlPacket::encode(128, 2, std::string("ownerid=t1\x01"));
        auto reply = KVRControlPacket::encode(127, 2, "state");
        bytes.insert(bytes.end(), reply.begin(), reply.end());
        peer.sendRaw(bytes, true);
    });
    ASSERT_TRUE(rig.connect());
    auto conf = rig.server->getConfInfo(12);
    ASSERT_TRUE(conf);
    EXPECT_EQ(conf->payloadText(), "state");
    EXPECT_EQ(rig.sink->eventCommands(), std::vector<uint16_t>{128});
}

TEST(KVRMainServerLoss, OwnDisconnectFlushesWritesThenReportsAndDestructionIsClean) {
    KVRControlRig rig;
    rig.peer.setResponder(silent);
    ASSERT_TRUE(rig.connect());
    rig.server->sendPacket(51, 1, std::string_view("12\x01u1\x02"));
    rig.server->disconnectFromServer();
    EXPECT_FALSE(rig.server->isConnected());
    ASSERT_TRUE(rig.criticalErrorReported());
    ASSERT_TRUE(KVRScriptedPeer::eventually([&] { return rig.peer.clientClosed(); }));
    ASSERT_EQ(rig.peer.received().size(), 1u);  // the pending write went out before the close
    EXPECT_EQ(rig.peer.received()[0].command, 51);
    rig.server.reset();
}

TEST(KVRMainServerLoss, DestroyingAConnectedClientStopsItsThreadWithoutReporting) {
    auto timing = kvrFastTiming();
    timing.aliveInterval = 5ms;
    KVRControlRig rig(timing);
    ASSERT_TRUE(rig.connect());
    rig.server.reset();
    EXPECT_TRUE(KVRScriptedPeer::eventually([&] { return rig.peer.clientClosed(); }));
    rig.loop->runPending();
    EXPECT_TRUE(rig.sink->errors().empty());
}
