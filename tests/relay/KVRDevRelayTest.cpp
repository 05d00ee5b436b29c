#include <gtest/gtest.h>

#include <atomic>

#include "KVRDevRelay.h"
#include "KVRRecordingSink.h"
#include "KVRUdpProbe.h"
#include "relay/KVRRelayPacket.h"
#include "relay/KVRRelayServer.h"

using namespace std::chrono_literals;

namespace {
KVRDevRelay::Options relayOptions() {
    KVRDevRelay::Options o;
    o.sweepInterval = 0ms;  // tests sweep by hand
    o.log = [](const std::string&) {};
    return o;
}

struct Client {
    std::shared_ptr<KVRRelayServer> relay;
    std::shared_ptr<KVRRecordingSink> sink = std::make_shared<KVRRecordingSink>();
};

Client join(const std::string& id, uint16_t port, int64_t subRoom) {
    KVRRelayServer::Options o;
    o.bindAddress = "127.0.0.1";
    o.replyWait = 3000ms;
    Client c{KVRRelayServer::initWithDelegateEx(o)};
    c.relay->setDataSink(c.sink);
    c.relay->setInfo(id, "127.0.0.1", port);
    EXPECT_TRUE(c.relay->getNATInfo()) << id;
    EXPECT_TRUE(c.relay->enterRoom(subRoom)) << id;
    return c;
}

std::string payloadText(const std::vector<uint8_t>& datagram) {
    auto d = KVRRelayPacket::decode(datagram);
    return d ? std::string(d->payload.begin(), d->payload.end()) : "<bad>";
}
}  // namespace

class KVRDevRelayForwarding : public ::testing::TestWithParam<bool> {};

TEST_P(KVRDevRelayForwarding, MediaReachTheOtherMembersOfTheSubRoomAsRelayedCommands) {
    auto opts = relayOptions();
    opts.replyWith50 = GetParam();
    KVRDevRelay server(opts);
    ASSERT_TRUE(server.start());
    auto a = join("alice", server.port(), 7);
    auto b = join("bob", server.port(), 7);
    auto c = join("carol", server.port(), 8);
    EXPECT_EQ(server.membersOf(7), (std::vector<std::string>{"alice", "bob"}));

    const uint8_t audio[] = {0x80, 1, 2}, video[] = {9, 9}, doc[] = {4};
    a.relay->sendAudio(audio, sizeof audio);
    a.relay->sendVideo(video, sizeof video);
    a.relay->sendBoardData(doc, sizeof doc);
    a.relay->sendText(reinterpret_cast<const uint8_t*>("hello"), 5);

    auto got = b.sink->waitFor(4);
    ASSERT_EQ(got.size(), 4u);
    const char* kinds[] = {"audio", "video", "doc", "text"};
    const uint8_t relayed[] = {41, 42, 43, 44};
    const std::vector<uint8_t> payloads[] = {{0x80, 1, 2}, {9, 9}, {4}, {'h', 'e', 'l', 'l', 'o'}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(got[i].kind, kinds[i]);
        // Exactly what alice sent, but for the command byte.
        auto expected = *KVRRelayPacket::encode(12 + i, 1, 7, "alice", payloads[i]);
        expected[0] = relayed[i];
        EXPECT_EQ(got[i].datagram, expected) << kinds[i];
        EXPECT_EQ(got[i].from.port, server.port());
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(a.sink->entries().empty()) << "sender got its own media back";
    EXPECT_TRUE(c.sink->entries().empty()) << "another sub-room got the media";

    // After leaving, bob is no longer a receiver.
    EXPECT_TRUE(b.relay->exitRoom());
    a.relay->sendText(reinterpret_cast<const uint8_t*>("x"), 1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(b.sink->entries().size(), 4u);
    EXPECT_EQ(server.stats().malformed, 0u);
}
INSTANTIATE_TEST_SUITE_P(ReplyCommand, KVRDevRelayForwarding, ::testing::Values(false, true));

TEST(KVRDevRelay, RepliesCarryTheObservedAddressAndGarbageIsCounted) {
    KVRDevRelay server(relayOptions());
    ASSERT_TRUE(server.start());
    KVRUdpProbe p;
    p.sendTo(server.port(), std::vector<uint8_t>(20, 1));                      // short
    auto truncated = *KVRRelayPacket::encode(12, 1, 7, "p", std::vector<uint8_t>(8));
    truncated.resize(truncated.size() - 1);
    p.sendTo(server.port(), truncated);                                        // announces more
    p.sendTo(server.port(), *KVRRelayPacket::encode(1, 1, 0, "", {}));         // no id
    p.sendTo(server.port(), 1, 0, "p");
    auto reply = p.receive();
    ASSERT_TRUE(reply);
    auto d = KVRRelayPacket::decode(reply->bytes);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->header.command, 1);
    EXPECT_EQ(d->header.userID, "p");
    EXPECT_EQ(std::string(d->payload.begin(), d->payload.end()), "127.0.0.1:" + std::to_string(p.port()));
    auto s = server.stats();
    EXPECT_EQ(s.malformed, 3u);
    EXPECT_EQ(s.replies, 1u);
    // Media from a member in no sub-room go nowhere.
    p.sendTo(server.port(), 12, 0, "p", "x");
    p.sendTo(server.port(), 1, 0, "p");
    ASSERT_TRUE(p.receive());
    EXPECT_EQ(server.stats().unroutable, 1u);
}

TEST(KVRDevRelay, SilentMembersAreForgottenAndAliveChecksKeepThem) {
    std::atomic<int64_t> nowMs{0};
    auto opts = relayOptions();
    opts.clock = [&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs.load())); };
    KVRDevRelay server(opts);
    for (auto [id, room] : {std::pair{"a", 5}, {"b", 5}}) {
        server.handleDatagram(*KVRRelayPacket::encode(31, 1, room, id, {}), "127.0.0.1", 1);
    }
    nowMs = 20000;
    server.handleDatagram(*KVRRelayPacket::encode(30, 1, 5, "a", {}), "127.0.0.1", 1);
    server.handleDatagram(*KVRRelayPacket::encode(30, 1, 5, "stranger", {}), "127.0.0.1", 2);
    nowMs = 30001;
    EXPECT_EQ(server.forgetSilentMembers(), 1u);
    EXPECT_EQ(server.membersOf(5), std::vector<std::string>{"a"});  // a stranger's 30 registers nobody
    nowMs = 50001;
    EXPECT_EQ(server.forgetSilentMembers(), 1u);
    EXPECT_TRUE(server.members().empty());
}

namespace {
// Two raw members in sub-room 3 of a running relay: "s" sends, "r" receives.
struct RawRoom {
    KVRDevRelay server;
    KVRUdpProbe sender, receiver;
    explicit RawRoom(KVRDevRelay::Options o) : server(std::move(o)) {
        EXPECT_TRUE(server.start());
        for (auto [probe, id] : {std::pair{&sender, "s"}, {&receiver, "r"}}) {
            probe->sendTo(server.port(), 31, 3, id);
            EXPECT_TRUE(probe->receive());
        }
    }
    void send(int n) {
        for (int i = 1; i <= n; ++i) sender.sendTo(server.port(), 15, 3, "s", std::to_string(i));
    }
    std::vector<std::string> received() {
        std::vector<std::string> out;
        while (auto d = receiver.receive(500ms)) out.push_back(payloadText(d->bytes));
        return out;
    }
};
}  // namespace

TEST(KVRDevRelay, FaultSwitches) {
    struct Case {
        const char* name;
        int drop;
        bool reorder, duplicate;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"none", 0, false, false, {"1", "2", "3", "4"}},
        {"drop all", 100, false, false, {}},
        {"duplicate", 0, false, true, {"1", "1", "2", "2", "3", "3", "4", "4"}},
        {"reorder", 0, true, false, {"2", "1", "4", "3"}},
    };
    for (const auto& c : cases) {
        RawRoom room(relayOptions());
        room.server.setDropPercent(c.drop);
        room.server.setReorder(c.reorder);
        room.server.setDuplicate(c.duplicate);
        room.send(4);
        EXPECT_EQ(room.received(), c.expected) << c.name;
        EXPECT_EQ(room.server.stats().faultDropped, c.drop ? 4u : 0u) << c.name;
    }
}

TEST(KVRDevRelay, PartialDropAndHeldDatagramFlushedWhenReorderEnds) {
    auto opts = relayOptions();
    opts.seed = 42;
    RawRoom room(opts);
    room.server.setDropPercent(50);
    room.send(200);
    auto got = room.received();
    auto dropped = room.server.stats().faultDropped;
    EXPECT_EQ(got.size() + dropped, 200u);
    EXPECT_GT(dropped, 50u);
    EXPECT_LT(dropped, 150u);

    room.server.setDropPercent(0);
    room.server.setReorder(true);
    room.send(1);
    EXPECT_TRUE(room.received().empty());  // held for its partner
    room.server.setReorder(false);
    EXPECT_EQ(room.received(), std::vector<std::string>{"1"});
}
