#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "KVRRecordingSink.h"
#include "KVRUdpProbe.h"
#include "app/KVRLog.h"
#include "relay/KVRRelayPacket.h"
#include "relay/KVRRelayServer.h"

using namespace std::chrono_literals;

namespace {
KVRRelayServer::Options quickOptions() {
    KVRRelayServer::Options o;
    o.bindAddress = "127.0.0.1";
    o.replyWait = 2000ms;
    o.aliveInterval = 3600s;  // out of the way unless a test wants it
    return o;
}

struct Seen {
    uint8_t command, subCommand;
    int32_t subRoom;
    std::string id;
    std::vector<uint8_t> payload;
};
Seen parse(const KVRUdpProbe::Datagram& d) {
    auto p = KVRRelayPacket::decode(d.bytes);
    EXPECT_TRUE(p);
    if (!p) return {};
    EXPECT_EQ(d.bytes[2], 0);
    EXPECT_EQ(d.bytes[3], 0);
    return {p->header.command, p->header.subCommand, p->header.subRoomNo, p->header.userID,
            {p->payload.begin(), p->payload.end()}};
}

// Answers each request the probe receives with the same command.
std::thread answerOnce(KVRUdpProbe& relay, std::vector<Seen>& seen) {
    return std::thread([&relay, &seen] {
        auto d = relay.receiveSkippingAlive();
        if (!d) return;
        seen.push_back(parse(*d));
        relay.sendTo(d->fromPort, d->bytes[0], 0, "relay");
    });
}

size_t logCount(const std::string& text) {
    std::ifstream f(KVRLogSettings::currentLogFile());
    std::stringstream ss;
    ss << f.rdbuf();
    std::string all = ss.str();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
}
}  // namespace

TEST(KVRRelayServer, SubRoomInHeaderFollowsEnterAndExit) {
    KVRUdpProbe relay;
    auto client = KVRRelayServer::initWithDelegateEx(quickOptions());
    ASSERT_TRUE(client);
    EXPECT_NE(client->localPort(), 0);
    const std::string id = "abcdefghijklmnopqrstuvw";
    client->setInfo(id, "127.0.0.1", 0x10000 + relay.port());  // only the low 16 bits are the port

    // Media go out before registration, in sub-room 0.
    const uint8_t voice[] = {1, 2, 3};
    client->sendAudio(voice, sizeof voice);
    auto before = parse(*relay.receive());
    EXPECT_EQ(before.command, 12);
    EXPECT_EQ(before.subCommand, 1);
    EXPECT_EQ(before.subRoom, 0);
    EXPECT_EQ(before.id, id);
    EXPECT_EQ(before.payload, std::vector<uint8_t>(voice, voice + 3));

    std::vector<Seen> seen;
    auto t = answerOnce(relay, seen);
    EXPECT_TRUE(client->getNATInfo());
    t.join();
    EXPECT_TRUE(client->isConnectedEx());
    t = answerOnce(relay, seen);
    EXPECT_TRUE(client->enterRoom(7));
    t.join();
    client->sendPacket(0x1f0f, 0x0201, "chat");  // only the low bytes reach the wire
    auto inRoom = parse(*relay.receiveSkippingAlive());
    t = answerOnce(relay, seen);
    EXPECT_TRUE(client->exitRoom());
    t.join();
    client->sendVideo(voice, sizeof voice);
    auto after = parse(*relay.receiveSkippingAlive());

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].command, 1);
    EXPECT_EQ(seen[0].subRoom, 0);
    EXPECT_TRUE(seen[0].payload.empty());
    EXPECT_EQ(seen[1].command, 31);
    EXPECT_EQ(seen[1].subRoom, 7);
    EXPECT_EQ(seen[2].command, 32);
    EXPECT_EQ(seen[2].subRoom, 0);
    EXPECT_EQ(inRoom.command, 15);
    EXPECT_EQ(inRoom.subCommand, 1);
    EXPECT_EQ(inRoom.subRoom, 7);
    EXPECT_EQ(std::string(inRoom.payload.begin(), inRoom.payload.end()), "chat");
    EXPECT_EQ(after.command, 13);
    EXPECT_EQ(after.subRoom, 0);
    EXPECT_EQ(client->mySubRoomNo(), 0);
}

TEST(KVRRelayServer, SilentRelayFailsRequestsAndLateReplyCompletesNextWait) {
    KVRUdpProbe relay;
    auto opts = quickOptions();
    opts.replyWait = 50ms;
    auto client = KVRRelayServer::initWithDelegateEx(opts);
    client->setInfo("u1", "127.0.0.1", relay.port());

    // Not registered: enter and exit send nothing.
    EXPECT_FALSE(client->enterRoom(3));
    EXPECT_FALSE(client->exitRoom());
    EXPECT_FALSE(client->getNATInfo());
    EXPECT_FALSE(client->isConnectedEx());
    auto first = relay.receive();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bytes[0], 1);
    EXPECT_FALSE(relay.receive(100ms)) << "enter/exit went out while unregistered";

    // The NAT reply comes too late; the next NAT request succeeds on it at once, unanswered.
    relay.sendTo(first->fromPort, 50, 0, "relay");
    client->setReplyWait(10s);
    std::this_thread::sleep_for(100ms);  // let the late reply land before the request
    EXPECT_TRUE(client->getNATInfo());
    EXPECT_TRUE(client->isConnectedEx());

    // Enter times out but keeps the number; a late 31 then lets exit succeed without its own answer.
    client->setReplyWait(50ms);
    EXPECT_FALSE(client->enterRoom(9));
    EXPECT_EQ(client->mySubRoomNo(), 9);
    relay.sendTo(first->fromPort, 31, 9, "relay");
    std::this_thread::sleep_for(100ms);
    client->setReplyWait(10s);
    EXPECT_TRUE(client->exitRoom());
    EXPECT_EQ(client->mySubRoomNo(), 0);
}

TEST(KVRRelayServer, StrayReplyFloodIsCapped) {
    KVRUdpProbe relay;
    auto client = KVRRelayServer::initWithDelegateEx(quickOptions());
    client->setInfo("u1", "127.0.0.1", relay.port());
    EXPECT_NE(client->waiting(0.01), 0);  // creates the semaphore
    for (int i = 0; i < 50; ++i) client->udpSocket(*KVRRelayPacket::encode(50, 2, 0, "r", {}), {"127.0.0.1", 1});
    int granted = 0;
    while (client->waiting(0.01) == 0) ++granted;
    EXPECT_GT(granted, 0);
    EXPECT_LT(granted, 50);
}

TEST(KVRRelayServer, ReceiveClassifiesByCommand) {
    auto client = KVRRelayServer::initWithDelegateEx(quickOptions());
    auto sink = std::make_shared<KVRRecordingSink>();
    client->setDataSink(sink);
    const std::pair<uint8_t, const char*> table[] = {
        {12, "audio"}, {41, "audio"}, {13, "video"}, {42, "video"},
        {14, "doc"},   {43, "doc"},   {15, "text"},  {44, "text"},
        {30, nullptr}, {0, nullptr},  {99, nullptr}, {255, nullptr},
    };
    std::vector<std::string> expected;
    for (auto [command, kind] : table) {
        auto d = *KVRRelayPacket::encode(command, 1, 4, "peer", std::vector<uint8_t>{command, 0xaa});
        d.push_back(0xee);  // beyond the announced payload: not handed on
        client->udpSocket(d, {"127.0.0.1", 4000});
        if (kind) expected.push_back(kind);
    }
    auto got = sink->entries();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, expected[i]);
        EXPECT_EQ(got[i].datagram.size(), KVRRelayPacket::kHeaderSize + 2);
        EXPECT_EQ(got[i].from.port, 4000);
    }
    // Replies are kept, whole, and never reach the sink.
    auto reply = *KVRRelayPacket::encode(31, 2, 4, "relay", std::vector<uint8_t>{'o', 'k'});
    client->udpSocket(reply, {"127.0.0.1", 1});
    EXPECT_EQ(client->receivedData(), reply);
    EXPECT_EQ(sink->entries().size(), expected.size());
    EXPECT_EQ(client->droppedDatagrams(), 0u);
}

TEST(KVRRelayServer, MalformedDatagramsAreCountedAndLoggedSparingly) {
    auto opts = quickOptions();
    opts.dropLogEvery = 10;
    auto client = KVRRelayServer::initWithDelegateEx(opts);
    auto sink = std::make_shared<KVRRecordingSink>();
    client->setDataSink(sink);
    KVRUdpProbe peer;
    auto good = *KVRRelayPacket::encode(41, 1, 1, "peer", std::vector<uint8_t>(10, 7));
    // Over the real socket: short datagrams and ones announcing more payload than they carry.
    peer.sendTo(client->localPort(), std::vector<uint8_t>{});
    peer.sendTo(client->localPort(), std::vector<uint8_t>{12});
    peer.sendTo(client->localPort(), std::vector<uint8_t>(good.begin(), good.begin() + 33));
    peer.sendTo(client->localPort(), std::vector<uint8_t>(good.begin(), good.end() - 1));
    peer.sendTo(client->localPort(), good);
    ASSERT_EQ(sink->waitFor(1).size(), 1u);
    EXPECT_EQ(client->droppedDatagrams(), 4u);
    for (int i = 0; i < 16; ++i) client->udpSocket(std::vector<uint8_t>(5, 41), {"127.0.0.1", 1});
    EXPECT_EQ(client->droppedDatagrams(), 20u);
    EXPECT_EQ(logCount("relay: dropped a datagram"), 3u);  // the 1st, 10th and 20th
    EXPECT_EQ(sink->entries().size(), 1u);
}

TEST(KVRRelayServer, OverlongUserIDSendsNothingAndLogsOnce) {
    KVRUdpProbe relay;
    auto client = KVRRelayServer::initWithDelegateEx(quickOptions());
    client->setInfo(std::string(24, 'x'), "127.0.0.1", relay.port());
    const uint8_t b[] = {1};
    for (int i = 0; i < 3; ++i) client->sendAudio(b, 1);
    client->sendPacket(1, 1, "x");
    EXPECT_FALSE(relay.receive(100ms));
    EXPECT_EQ(client->sentDatagrams(), 0u);
    EXPECT_EQ(logCount("does not fit"), 1u);
    // An oversize payload is refused too, rather than wrapping the 16-bit length.
    client->setInfo("ok", "127.0.0.1", relay.port());
    std::vector<uint8_t> big(70000, 1);
    client->sendVideo(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_FALSE(relay.receive(100ms));
}

TEST(KVRRelayServer, KeepAliveStartsWithRegistration) {
    KVRUdpProbe relay;
    auto opts = quickOptions();
    opts.aliveInterval = 20ms;
    auto client = KVRRelayServer::initWithDelegateEx(opts);
    client->setInfo("u1", "127.0.0.1", relay.port());
    client->sendAliveCheck();  // unregistered: nothing
    EXPECT_FALSE(relay.receive(100ms));
    std::vector<Seen> seen;
    auto t = answerOnce(relay, seen);
    ASSERT_TRUE(client->getNATInfo());
    t.join();
    int alive = 0;
    while (alive < 3) {
        auto d = relay.receive();
        ASSERT_TRUE(d);
        auto s = parse(*d);
        EXPECT_EQ(s.command, 30);
        EXPECT_TRUE(s.payload.empty());
        ++alive;
    }
}

TEST(KVRRelayServer, ConcurrentSendersProduceWholeDatagrams) {
    KVRUdpProbe relay;
    auto client = KVRRelayServer::initWithDelegateEx(quickOptions());
    client->setInfo("u1", "127.0.0.1", relay.port());
    constexpr int kThreads = 4, kEach = 30;  // stays within the probe's socket buffer
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
        senders.emplace_back([&, t] {
            std::vector<uint8_t> payload(40 + t * 10, static_cast<uint8_t>(t));
            for (int i = 0; i < kEach; ++i) client->sendPacket(12 + t, 1, payload.data(), payload.size());
        });
    for (auto& s : senders) s.join();
    int counts[kThreads] = {};
    for (int i = 0; i < kThreads * kEach; ++i) {
        auto d = relay.receive();
        ASSERT_TRUE(d) << "after " << i;
        auto s = parse(*d);
        int t = s.command - 12;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(s.payload, std::vector<uint8_t>(40 + t * 10, static_cast<uint8_t>(t)));
        ++counts[t];
    }
    for (int c : counts) EXPECT_EQ(c, kEach);
}
