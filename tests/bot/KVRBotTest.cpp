// kelvara-bot: its command line, and three bots as child processes in one room of the development server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KVRBotOptions.h"
#include "KVRDevServer.h"
#include "support/KVRTestLaunch.h"
#include "support/KVRChildProcess.h"
#include "support/KVRTempDir.h"

namespace {

using namespace std::chrono_literals;

struct OptionCase {
    std::vector<std::string> args;
    bool ok;
    std::string errorPart;
};

TEST(BotOptions, Table) {
    const std::vector<OptionCase> cases = {
        {{"--url", "kelvara://x?UpdaterKey="}, true, ""},
        {{"--url=kelvara://x?UpdaterKey=", "--duration", "2.5", "--log", "/tmp/b.log"}, true, ""},
        {{}, false, "--url is required"},
        {{"--url"}, false, "needs LAUNCH_URL"},
        {{"--url", "u", "--duration", "-1"}, false, "number of seconds"},
        {{"--url", "u", "--duration", "5x"}, false, "number of seconds"},
        {{"--url", "u", "--no-such-option"}, false, "unknown option"},
    };
    for (const auto& c : cases) {
        std::string error;
        auto o = KVRBotOptions::parse(c.args, error);
        EXPECT_EQ(o.has_value(), c.ok) << ::testing::PrintToString(c.args) << " " << error;
        if (!c.ok) EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
    std::string error;
    auto o = KVRBotOptions::parse({"--url", "u", "--duration", "2.5"}, error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->duration, std::chrono::milliseconds(2500));
    // Every entry appears in the usage text.
    for (const auto& e : KVRBotOptions::table()) EXPECT_NE(KVRBotOptions::usage().find(e.name), std::string::npos);
}

using Child = kvrtest::ChildProcess;
using kvrtest::readFile;


std::string lastLine(const std::string& text) {
    auto end = text.find_last_not_of('\n');
    if (end == std::string::npos) return {};
    auto start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

class BotRoom : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
    }
    void TearDown() override { server.stop(); }
    std::string url(const std::string& uid, int role) {
        return kvrtest::launchUrl(server.ports().main, server.ports().relay, uid, role);
    }
    std::string out(int i) const { return (dir.path() / ("bot" + std::to_string(i) + ".out")).string(); }

    KVRTempDir dir;
    KVRDevServer server;
};

TEST_F(BotRoom, ThreeBotsEachReportTheOtherTwo) {
    const std::vector<std::string> ids = {"lect1", "stud1", "stud2"};
    std::vector<std::unique_ptr<Child>> bots;
    for (size_t i = 0; i < ids.size(); ++i)
        bots.push_back(std::make_unique<Child>(
            std::vector<std::string>{KVR_BOT_EXE, "--url", url(ids[i], i == 0 ? 1 : 0), "--log",
                                     (dir.path() / ("bot" + std::to_string(i) + ".log")).string()},
            out(static_cast<int>(i))));

    // Every bot has seen all three in the room, then all leave in order.
    auto deadline = std::chrono::steady_clock::now() + 20s;
    auto allSeeThree = [&] {
        for (size_t i = 0; i < ids.size(); ++i) {
            auto text = readFile(out(static_cast<int>(i)));
            bool seen = false;
            std::istringstream lines(text);
            for (std::string l; std::getline(lines, l);)
                if (l.find("users ") != std::string::npos && l.find("lect1") != std::string::npos &&
                    l.find("stud1") != std::string::npos && l.find("stud2") != std::string::npos)
                    seen = true;
            if (!seen) return false;
        }
        return true;
    };
    while (!allSeeThree() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(allSeeThree()) << readFile(out(0)) << readFile(out(1)) << readFile(out(2));

    for (auto& b : bots) b->terminate();
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(bots[i]->wait(10s), 0) << readFile(out(static_cast<int>(i)));
        auto json = lastLine(readFile(out(static_cast<int>(i))));
        EXPECT_EQ(json.rfind("{\"user\":\"" + ids[i] + "\"", 0), 0u) << json;
        EXPECT_NE(json.find("\"joined\":true"), std::string::npos) << json;
        for (const auto& other : ids) EXPECT_NE(json.find("\"" + other + "\""), std::string::npos) << json;
    }
}

TEST_F(BotRoom, ServerEndingTheConnectionEndsTheBotWithTheCriticalError) {
    Child bot({KVR_BOT_EXE, "--url", url("stud9", 0)}, out(9));
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (readFile(out(9)).find("step in-room ok") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_NE(readFile(out(9)).find("step in-room ok"), std::string::npos) << readFile(out(9));
    server.closeConnectionsOf("stud9");
    EXPECT_EQ(bot.wait(10s), 2) << readFile(out(9));
    EXPECT_NE(readFile(out(9)).find("kelvara critical"), std::string::npos) << readFile(out(9));
}

TEST_F(BotRoom, RefusedLoginFailsTheJoin) {
    server.failReplies(9);
    Child bot({KVR_BOT_EXE, "--url", url("stud8", 0)}, out(8));
    EXPECT_EQ(bot.wait(40s), 1) << readFile(out(8));
    auto json = lastLine(readFile(out(8)));
    EXPECT_NE(json.find("\"failure\":\"login\""), std::string::npos) << json;
}

}  // namespace
