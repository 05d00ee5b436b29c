#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "KVRDevLog.h"
#include "KVRDevMainServer.h"
#include "KVRDevServer.h"
#include "server/KVRDevTestClient.h"
#include "support/KVRTempDir.h"

using namespace std::chrono_literals;

namespace {
constexpr char F = '\x01', E = '\x02';

std::string rec(std::initializer_list<std::string> fields, char end = E) {
    std::string out;
    bool first = true;
    for (const auto& f : fields) {
        if (!first) out += F;
        out += f;
        first = false;
    }
    return out + end;
}

class DevServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVRDevLogSettings::clear();
        KVRDevServerOptions o;
        o.dataFolder = data.str();
        server = std::make_unique<KVRDevServer>(o);
        ASSERT_TRUE(server->start());
    }
    uint16_t port() const { return server->ports().main; }

    // A client logged in and entered into the lecturer's room; returns the room number.
    int64_t join(KVRDevTestClient& c, const std::string& id, const std::string& lecturer = "lec") {
        EXPECT_TRUE(c.login(id, id + "-alias"));
        auto r = c.request(236, rec({lecturer, "999"}));
        EXPECT_TRUE(r && r->subCommand == 2);
        int64_t room = std::stoll(r->payloadText());
        EXPECT_TRUE(c.ok(54, rec({std::to_string(room), id, "0", "0", "1"})));
        return room;
    }

    KVRTempDir data;
    std::unique_ptr<KVRDevServer> server;
};
}  // namespace

// The join as the client runs it, and what the other member sees of it, in order.
TEST_F(DevServerTest, TwoClientsJoinOneRoomAndSeeEachOthersEvents) {
    KVRDevTestClient lec(port()), stu(port());
    ASSERT_TRUE(lec.ok(177, ""));
    ASSERT_TRUE(lec.login("lec", "Lecturer"));
    EXPECT_TRUE(lec.ok(22, rec({"Lecturer"})));
    EXPECT_TRUE(lec.ok(124, rec({"100"})));
    EXPECT_TRUE(lec.ok(173, rec({"127.0.0.1", "7081", "127.0.0.1", "127.0.0.1", "7081"})));
    EXPECT_TRUE(lec.ok(15, std::string("Y\x01Y\x01Y\x01") + "127.0.0.1" + E));
    auto info = lec.request(236, rec({"lec", "999"}));
    ASSERT_TRUE(info && info->subCommand == 2);
    const std::string room = info->payloadText().substr(0, info->payloadText().find(E));
    auto sub = lec.request(38, rec({room}));
    ASSERT_TRUE(sub && sub->subCommand == 2);
    EXPECT_EQ(kvrFields(sub->payloadText()).size(), 11u);
    EXPECT_EQ(kvrFields(sub->payloadText())[1], "lec");
    auto count = lec.request(620, "select count(curnrmusrinf_userid) from currentroomuserinfo where curnrmusrinf_userid='lec' and "
                                  "curnrmusrinf_roomno=" + room + F + "1" + E);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->payloadText(), std::string("0") + E);
    EXPECT_TRUE(lec.ok(138, rec({"999", room, "Physics", "lec", "lec", "lec", "2"})));
    EXPECT_TRUE(lec.ok(54, rec({room, "lec", "0", "0", "1"})));
    EXPECT_FALSE(lec.ok(127, rec({room}, F))) << "no state yet: the owner is to publish the defaults";

    ASSERT_TRUE(stu.login("stu", "Student"));
    EXPECT_TRUE(stu.ok(54, rec({room, "stu", "0", "0", "1"})));
    auto entered = lec.next();
    ASSERT_TRUE(entered);
    EXPECT_EQ(entered->command, 55);
    EXPECT_EQ(entered->payloadText(), "stu" + std::string(1, F) + room + E);

    auto list = stu.request(175, rec({room, "0", "150"}, F));
    ASSERT_TRUE(list && list->subCommand == 2);
    std::string text = list->payloadText();
    ASSERT_EQ(std::count(text.begin(), text.end(), E), 2);
    EXPECT_EQ(kvrFields(text)[0], "lec");
    EXPECT_EQ(kvrFields(text.substr(text.find(E) + 1))[0], "stu");
    EXPECT_EQ(kvrFields(text.substr(text.find(E) + 1)).size(), 17u);
    auto one = lec.request(176, rec({"stu"}, F));
    ASSERT_TRUE(one && one->subCommand == 2);
    EXPECT_EQ(kvrFields(one->payloadText())[2], "Student");

    // Room of two is full for a third.
    KVRDevTestClient third(port());
    ASSERT_TRUE(third.login("c3", "C"));
    EXPECT_FALSE(third.ok(54, rec({room, "c3", "0", "0", "1"})));
    EXPECT_TRUE(KVRDevLogSettings::contains("the sub-room is full"));

    // The lecturer publishes the state, commands the room, one user, and announces a page.
    const std::string state = room + F + "lec" + F + "lec" + F + "lec" + F + "lec" + F + "2" + F + "2" + F + "lec|0|lec|" +
                              F + "|100|1|0|" + F + "lec|" + F + "lec|stu|" + F + "lec|" + F + "lec|" + E;
    EXPECT_TRUE(lec.ok(114, state));
    EXPECT_TRUE(lec.ok(853, room + F + F + "1" + '\x04' + E));
    EXPECT_TRUE(lec.ok(853, std::string("-1") + F + "stu" + F + "3" + '\x04' + "hi" + '\x04' + E));
    EXPECT_TRUE(lec.ok(224, std::string("19") + F + "0" + F + "Doc" + F + "Page 1" + F + "a.png"));

    auto s128 = stu.next(), s854a = stu.next(), s854b = stu.next(), s208 = stu.next();
    ASSERT_TRUE(s128 && s854a && s854b && s208);
    EXPECT_EQ(s128->command, 128);
    auto alarm = kvrFields(s128->payloadText());
    ASSERT_EQ(alarm.size(), 15u);
    EXPECT_EQ(alarm[2], room);
    EXPECT_EQ(alarm[3], "lec");
    EXPECT_EQ(alarm[12], "lec|stu|");
    EXPECT_EQ(s854a->command, 854);
    EXPECT_EQ(s854a->payloadText(), "lec" + std::string(1, F) + F + "1\x04" + E);
    EXPECT_EQ(s854b->payloadText(), "lec" + std::string(1, F) + "stu" + F + "3\x04hi\x04" + E);
    EXPECT_EQ(s208->command, 208);
    EXPECT_EQ(s208->payloadText(), std::string("19") + F + "0" + F + "Doc" + F + "Page 1" + F + "a.png");

    EXPECT_TRUE(stu.ok(46, rec({room})));
    auto conf = stu.request(127, rec({room}, F));
    ASSERT_TRUE(conf && conf->subCommand == 2);
    EXPECT_EQ(kvrFields(conf->payloadText()).size(), 12u);
    EXPECT_EQ(kvrFields(conf->payloadText())[9], "lec|stu|");

    EXPECT_TRUE(stu.ok(51, rec({room, "stu"})));
    auto left = lec.next();
    ASSERT_TRUE(left);
    EXPECT_EQ(left->command, 56);
    EXPECT_EQ(left->payloadText(), "stu" + std::string(1, F) + room + E);
    // The lecturer's own actions never echo back as events.
    lec.setTimeout(200);
    EXPECT_FALSE(lec.next());
}

TEST_F(DevServerTest, OwnerPublishesTheFirstStateBeforeEnteringAndStrangersCannot) {
    // The join asks for the state right after the room look-up; the owner then publishes the defaults
    // before it has entered the room.
    KVRDevTestClient lec(port()), other(port());
    ASSERT_TRUE(lec.login("lec", "Lecturer"));
    auto info = lec.request(236, rec({"lec", "999"}));
    ASSERT_TRUE(info && info->subCommand == 2);
    const std::string room = info->payloadText().substr(0, info->payloadText().find(E));
    const std::string state = room + F + "lec" + F + "lec" + F + "lec" + F + "lec" + F + "0" + F + "0" + F + "lec|" +
                              F + "|100|1|0|" + F + "lec|" + F + "lec|" + F + "lec|" + F + "lec|" + E;
    ASSERT_TRUE(other.login("x", "X"));
    EXPECT_FALSE(other.ok(114, state)) << "neither in the room nor its owner";
    EXPECT_TRUE(lec.ok(114, state));
    auto conf = lec.request(127, rec({room}, F));
    ASSERT_TRUE(conf && conf->subCommand == 2);
    EXPECT_EQ(kvrFields(conf->payloadText())[1], "lec");
}

TEST_F(DevServerTest, LoginElsewhereEndsTheFirstSessionAndALostConnectionLeavesTheRoom) {
    KVRDevTestClient a(port()), first(port());
    const int64_t room = join(a, "a");
    join(first, "b");
    ASSERT_EQ(a.next()->command, 55);

    KVRDevTestClient second(port());
    ASSERT_TRUE(second.login("b", "again"));
    auto kicked = first.next();
    ASSERT_TRUE(kicked);
    EXPECT_EQ(kicked->command, 82);
    EXPECT_TRUE(first.waitClosed());
    auto gone = a.next();
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->command, 56);

    // The new session re-enters, then its connection drops: the room sees it leave.
    ASSERT_TRUE(second.ok(54, rec({std::to_string(room), "b", "0", "0", "1"})));
    ASSERT_EQ(a.next()->command, 55);
    server->closeConnectionsOf("b");
    EXPECT_TRUE(second.waitClosed());
    auto dropped = a.next();
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->command, 56);

    // A wrong password is refused.
    KVRDevTestClient impostor(port());
    EXPECT_FALSE(impostor.login("a", "x", "other-hash"));
}

TEST_F(DevServerTest, HostileInputIsRefusedOrDroppedAndTheServerKeepsServing) {
    {
        // Requests before login, bad UTF-8, bad sub-command, unknown commands: refused, connection kept.
        KVRDevTestClient c(port());
        EXPECT_FALSE(c.ok(175, rec({"1", "0", "150"}, F)));
        EXPECT_FALSE(c.ok(9, rec({"u\xff", "h", "a", "a", "M"})));
        c.send(177, "", 7);
        EXPECT_FALSE(c.ok(4242, "x"));
        EXPECT_TRUE(c.login("u", "U"));
        EXPECT_FALSE(c.ok(54, rec({"12"})));
        EXPECT_FALSE(c.ok(54, rec({"nan", "u", "0", "0", "1"})));
        EXPECT_FALSE(c.ok(114, rec({"1", "a"})));
        EXPECT_FALSE(c.ok(853, rec({"x"})));
        EXPECT_FALSE(c.ok(224, "19"));
        EXPECT_TRUE(c.ok(97, ""));
    }
    {
        KVRDevTestClient c(port());
        std::vector<uint8_t> oversize = {9, 0, 1, 0, 0, 0, 0xff, 0xff};
        c.sendRaw(oversize);
        EXPECT_TRUE(c.waitClosed());
        EXPECT_TRUE(KVRDevLogSettings::contains("announced a payload of 65535 bytes"));
    }
    {
        KVRDevTestClient c(port());
        c.sendRaw({97, 0, 1, 0, 0, 0, 20, 0, 'a', 'b'});  // header promises 20, two arrive, then close
    }
    {
        // Pseudo-random garbage: whatever it frames into is refused, then the stream ends.
        KVRDevLogSettings::setEcho(false);
        KVRDevTestClient c(port(), 500);
        std::vector<uint8_t> junk(20000);
        uint32_t x = 12345;
        for (auto& b : junk) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
        c.sendRaw(junk);
        c.waitClosed();
        KVRDevLogSettings::setEcho(true);
    }
    KVRDevTestClient after(port());
    EXPECT_TRUE(after.login("later", "L"));
    EXPECT_TRUE(KVRDevLogSettings::contains("bytes of an unfinished packet"));
}

TEST_F(DevServerTest, FaultSwitchesDelayDropFailSplitMergeAndClose) {
    KVRDevTestClient c(port());
    ASSERT_TRUE(c.login("f", "F"));

    server->setReplyDelay(300ms);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(c.ok(97, ""));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 300ms);
    server->setReplyDelay(0ms);

    server->dropReplies(177);
    c.setTimeout(300);
    EXPECT_FALSE(c.request(177, ""));
    c.setTimeout(3000);
    server->dropReplies(177, false);
    EXPECT_TRUE(c.ok(177, ""));

    server->failReplies(22);
    EXPECT_FALSE(c.ok(22, rec({"x"})));
    server->failReplies(22, false);

    // Split: each packet comes one byte per write, and still frames whole.
    server->setSplitWrites(true);
    auto split = c.request(177, "");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->command, 177);
    EXPECT_EQ(split->subCommand, 2);
    server->setSplitWrites(false);

    // Merge: the replies to two requests sent together arrive in one read.
    server->setMergePackets(true);
    auto both = KVRControlPacket::encode(97, 1, "");
    auto t = KVRControlPacket::encode(177, 1, "");
    both.insert(both.end(), t.begin(), t.end());
    c.sendRaw(both);
    auto p1 = c.next();
    size_t firstRead = c.lastReadSize();
    auto p2 = c.next();
    ASSERT_TRUE(p1 && p2);
    EXPECT_EQ(p1->command, 97);
    EXPECT_EQ(p2->command, 177);
    EXPECT_EQ(firstRead, KVRControlPacket::kHeaderSize * 2 + p2->payload.size());
    server->setMergePackets(false);

    server->closeOnCommand(54);
    c.send(54, rec({"1", "f", "0", "0", "1"}));
    EXPECT_TRUE(c.waitClosed());
}

TEST_F(DevServerTest, DocumentsArePerRoomAndPortalRecordsAreStored) {
    KVRDevTestClient c(port());
    const std::string room = std::to_string(join(c, "lec"));
    EXPECT_TRUE(c.ok(218, rec({room, "Whiteboard", "Page 1", "wb1.png"})));
    EXPECT_TRUE(c.ok(218, rec({room, "Doc", "Page 1", "d1.png"})));
    EXPECT_TRUE(c.ok(223, rec({room, "d1.png", "1"})));
    auto n = c.request(480, rec({room}, F));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->payloadText(), "2");
    auto list = c.request(481, rec({room, "0", "10"}));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->payloadText(), std::string("lec\x01Whiteboard\x01Page 1\x01wb1.png\x01" "0\x01\x02") +
                                       "lec\x01" "Doc\x01Page 1\x01" "d1.png\x01" "1\x01\x02");
    EXPECT_TRUE(c.ok(221, rec({room, "Whiteboard"})));
    EXPECT_TRUE(c.ok(220, rec({room, "d1.png"})));
    EXPECT_EQ(c.request(480, rec({room}, F))->payloadText(), "0");

    const std::string event = room + F + "Out" + F + "lec" + F + "tab\there";
    EXPECT_TRUE(c.ok(893, event + E));
    EXPECT_TRUE(c.ok(1100, rec({room, "rec.mp4", "mp4", "", "1", "0", "1"})));
    // A poll record is answered by one 898 carrying the request number and a result.
    auto poll = c.request(894, rec({room, "2", "Yes or no?"}));
    ASSERT_TRUE(poll);
    EXPECT_EQ(poll->command, 898);
    EXPECT_EQ(poll->subCommand, 2);
    EXPECT_EQ(poll->payloadText(), "894\x01OK");
    c.setTimeout(200);
    EXPECT_FALSE(c.next()) << "no second reply to a poll record";
    c.setTimeout(3000);

    auto log = KVRDevMainServer::readPortalLog(data.path());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].command, 893);
    EXPECT_EQ(log[0].sender, "lec");
    EXPECT_EQ(log[0].fields, (std::vector<std::string>{room, "Out", "lec", "tab\there"}));
    EXPECT_EQ(log[1].fields[1], "rec.mp4");
    EXPECT_EQ(log[2].command, 894);

    auto upload = c.request(899, rec({"1"}));
    ASSERT_TRUE(upload);
    EXPECT_EQ(kvrFields(upload->payloadText()), (std::vector<std::string>{"127.0.0.1", std::to_string(server->ports().file)}));
    auto view = c.request(1101, "");
    ASSERT_TRUE(view);
    EXPECT_EQ(kvrFields(view->payloadText()),
              (std::vector<std::string>{"127.0.0.1", "/portal/view.html", std::to_string(server->ports().http)}));
}

// The executable: one JSON line with the bound ports, serving until SIGTERM.
TEST(KVRDevServerExe, PrintsItsPortsAndStopsOnSigterm) {
    KVRTempDir dir;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(KVR_SERVER_EXE, KVR_SERVER_EXE, "--main-port", "0", "--data", dir.str().c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* f = ::fdopen(out[0], "r");
    char line[1024] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, f));
    std::string json = line;
    EXPECT_NE(json.find("\"data\":\"" + dir.str() + "\""), std::string::npos) << json;
    int mainPort = 0, relay = 0, file = 0, http = 0;
    ASSERT_EQ(std::sscanf(line, "{\"main\":%d,\"relay\":%d,\"file\":%d,\"http\":%d", &mainPort, &relay, &file, &http), 4);
    EXPECT_TRUE(mainPort > 0 && relay > 0 && file > 0 && http > 0);
    {
        KVRDevTestClient c(static_cast<uint16_t>(mainPort));
        EXPECT_TRUE(c.ok(97, ""));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::fclose(f);
}
