// The dispatcher's work between real clients of the development server on loopback: the owner
// hand-over through the owner change logic, and a lecturer bot granting two student bots the floor.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/KVRTestLaunch.h"
#include "support/KVRChildProcess.h"
#include "KVRConferenceTestSupport.h"
#include "KVRDevServer.h"
#include "app/KVRGlobalData.h"
#include "conference/KVRChangeOwnerController.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRConferenceHandler.h"
#include "control/KVRMainServer.h"
#include "control/KVRServerAlarmSink.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "support/KVRTempDir.h"

using namespace kvrtest;
using namespace std::chrono_literals;

namespace {
class EventSink : public KVRServerAlarmSink {
public:
    void serverAlarmPacket(const KVRControlPacket& p) override {
        std::lock_guard l(m_);
        packets_.push_back(p);
        cv_.notify_all();
    }
    void criticalError(const std::string&) override {}
    // The first event of `command`, waiting up to `limit` for it.
    std::optional<KVRControlPacket> waitFor(uint16_t command, std::chrono::milliseconds limit = 5s) {
        std::unique_lock l(m_);
        std::optional<KVRControlPacket> found;
        cv_.wait_for(l, limit, [&] {
            for (auto& p : packets_)
                if (p.command == command) found = p;
            return found.has_value();
        });
        return found;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<KVRControlPacket> packets_;
};

struct Yes : KVRAlerts {
    int asked = 0;
    int showAlert(const std::string&, const std::vector<std::string>&, int) override {
        ++asked;
        return 0;
    }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
};

KVRMainServer::Timing fast() {
    KVRMainServer::Timing t;
    t.replyWait = 3000ms;
    t.connectPoll = 20ms;
    t.userInfoPause = 0ms;
    return t;
}

// The members of the audio set in a bot's state line, or in the "state" object of its final report.
std::string audioSetOf(const std::string& line) {
    const auto state = line.find("\"state\":");
    const auto start = line.find("\"audio\":[", state == std::string::npos ? 0 : state);
    if (start == std::string::npos) return "<none>";
    const auto end = line.find(']', start);
    return line.substr(start + 9, end == std::string::npos ? std::string::npos : end - start - 9);
}

// Logs in, tells the server the user's type and enters the sub-room.
void enter(KVRMainServer& c, const std::string& id, int64_t userType, int64_t room) {
    ASSERT_TRUE(c.loginWithRegister(id, id, id));
    ASSERT_TRUE(c.updateUserType(userType));
    ASSERT_TRUE(c.registerNetInfo("127.0.0.1", 7081, "127.0.0.1", "127.0.0.1", 7081));
    ASSERT_TRUE(c.enterSubRoom(room, id, userType, false, true));
}
}  // namespace

// The main lecturer hands the seminar over to the second lecturer: the server's sub-room names the new
// owner, and the state the second lecturer receives names it as owner and chair.
TEST(KVRDispatchRoom, OwnerHandOverReachesTheServerAndTheOtherLecturer) {
    KVRTempDir data;
    KVRDevServerOptions options;
    options.dataFolder = data.str();
    KVRDevServer server(options);
    ASSERT_TRUE(server.start());
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto* g = KVRGlobalData::sharedGlobalData();
    g->setRunLoop(loop);
    auto yes = std::make_shared<Yes>();
    g->setAlerts(yes);

    auto main = std::make_shared<KVRMainServer>(loop, fast());
    KVRMainServer other(loop, fast());
    auto otherEvents = std::make_shared<EventSink>();
    other.setAlarmSink(otherEvents);
    ASSERT_TRUE(main->connectToServer("127.0.0.1", server.ports().main));
    ASSERT_TRUE(other.connectToServer("127.0.0.1", server.ports().main));

    ASSERT_TRUE(main->loginWithRegister("lect1", "lect1", "Lecturer"));
    auto info = main->getLectureRoomInfo("lect1", KVRMainServer::kTopRoomNo);
    ASSERT_TRUE(info);
    const int64_t room = std::stoll(info->payloadText());
    ASSERT_TRUE(main->updateSubRoomEx(KVRMainServer::kTopRoomNo, room, "Seminar", "lect1", "lect1", "lect1", 10));
    enter(*main, "lect1", 100, room);
    enter(other, "lect2", 103, room);

    // The own client as the join leaves it: lecturer of a seminar, its sub-room and users listed.
    useConfig(" /UID:lect1 /NTP:1 /MST:9 /RNM:Seminar");
    Room listed;
    auto roomRecord = main->getSubRoomInfo(room);
    ASSERT_TRUE(roomRecord);
    ASSERT_TRUE(listed.rooms->setSelectedRoomInfo(roomRecord->payloadText()));
    ASSERT_EQ(listed.rooms->getOwnerID(), "lect1");
    for (auto id : {"lect1", "lect2"}) {
        auto record = main->getUserInfoWithNATInfo(id);
        ASSERT_TRUE(record);
        ASSERT_TRUE(listed.users->addUser(record->payloadText()));
    }
    listed.state->setSubRoomNo(room);
    listed.state->setOwnerID("lect1");
    listed.state->setAdminID("lect1");
    g->setMainServer(main);
    auto join = std::make_shared<KVRConferenceHandler>();
    g->setConferenceHandler(join);
    auto dispatcher = std::make_shared<KVRConferenceEventHandler>(loop, std::make_shared<KVRMainServerControl>(main));

    KVRChangeOwnerController dialog(*dispatcher);
    dialog.refresh();
    ASSERT_EQ(dialog.numberOfRows(), 2u);
    const size_t lect2Row = dialog.row(0).userID == "lect2" ? 0 : 1;
    ASSERT_EQ(dialog.row(lect2Row).userID, "lect2");
    dialog.selectRow(lect2Row);
    ASSERT_TRUE(dialog.isChangeEnabled());
    ASSERT_TRUE(dialog.changeOwner());
    EXPECT_EQ(yes->asked, 1);

    // Our side: the refreshed record and the state name the new owner; the button is off for that row.
    EXPECT_EQ(listed.rooms->getOwnerID(), "lect2");
    EXPECT_EQ(listed.state->getOwnerID(), "lect2");
    EXPECT_FALSE(dialog.isChangeEnabled());

    // The server's sub-room record, as anyone reads it now.
    auto after = other.getSubRoomInfo(room);
    ASSERT_TRUE(after);
    KVRSubroomList seen;
    ASSERT_TRUE(seen.setSelectedRoomInfo(after->payloadText()));
    EXPECT_EQ(seen.getOwnerID(), "lect2");

    // The other lecturer receives the published state.
    auto published = otherEvents->waitFor(128);
    ASSERT_TRUE(published);
    KVRCurrentConferenceInfo theirs;
    ASSERT_TRUE(theirs.setCurrConfInfo(published->payloadText(), true));
    EXPECT_EQ(theirs.getOwnerID(), "lect2");
    EXPECT_EQ(theirs.getAdminID(), "lect2");

    main->disconnectFromServer();
    other.disconnectFromServer();
    g->resetForTesting();
    server.stop();
}

// A lecturer bot and two student bots in one room of kelvara-server, all of them child processes: the
// lecturer gives both students the floor, and each student follows the published state.
TEST(KVRDispatchRoom, LecturerGrantsTheFloorToTwoStudentBots) {
    KVRTempDir dir;
    auto out = [&](const std::string& name) { return (dir.path() / (name + ".out")).string(); };
    ChildProcess server({KVR_SERVER_EXE, "--data", (dir.path() / "data").string()}, out("server"));
    ASSERT_TRUE(server.started());
    int mainPort = 0, relayPort = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            auto json = server.lastLineStarting("{\"main\":");
            return json && std::sscanf(json->c_str(), "{\"main\":%d,\"relay\":%d", &mainPort, &relayPort) == 2;
        },
        10s))
        << server.output();
    auto url = [&](const std::string& uid, int role) {
        return kvrtest::launchUrl(mainPort, relayPort, uid, role);
    };
    auto inRoom = [](ChildProcess& bot) { return bot.lastLineStarting("kelvara-bot: step in-room ok").has_value(); };

    // The lecturer opens the room and acts once both students are in.
    ChildProcess lecturer({KVR_BOT_EXE, "--url", url("lect1", 1), "--wait-users", "3", "--toggle", "0:mic:stud1",
                           "--toggle", "0:mic:stud2"},
                          out("lect1"));
    ASSERT_TRUE(waitUntil([&] { return inRoom(lecturer); }, 15s)) << lecturer.output();
    ChildProcess stud1({KVR_BOT_EXE, "--url", url("stud1", 0)}, out("stud1"));
    ChildProcess stud2({KVR_BOT_EXE, "--url", url("stud2", 0)}, out("stud2"));

    // Each student reports the state that event 128 brought, with both of them allowed to speak.
    auto hasBoth = [](const std::optional<std::string>& line) {
        if (!line) return false;
        auto set = audioSetOf(*line);
        return set.find("\"stud1\"") != std::string::npos && set.find("\"stud2\"") != std::string::npos;
    };
    for (ChildProcess* s : {&stud1, &stud2})
        EXPECT_TRUE(waitUntil([&] { return hasBoth(s->lastLineStarting("kelvara-bot: state ")); }, 20s))
            << s->output() << "\n--- lecturer\n" << lecturer.output();

    // The first grant tells stud1 it may speak and stud2 that it may not yet; the second tells both.
    auto notices = [](ChildProcess& bot) {
        std::vector<std::string> got;
        for (auto& l : bot.lines())
            if (l.rfind("kelvara-bot: notice ", 0) == 0) got.push_back(l.substr(20));
        return got;
    };
    EXPECT_EQ(notices(stud1), (std::vector<std::string>{"5 stud1", "5 stud1"}));
    EXPECT_EQ(notices(stud2), (std::vector<std::string>{"8 stud2", "5 stud2"}));

    // Everyone leaves in order; the final reports agree on the state.
    for (ChildProcess* s : {&stud1, &stud2}) s->terminate();
    EXPECT_EQ(stud1.wait(10s), std::optional<int>(0));
    EXPECT_EQ(stud2.wait(10s), std::optional<int>(0));
    lecturer.terminate();
    EXPECT_EQ(lecturer.wait(10s), std::optional<int>(0));
    for (ChildProcess* bot : {&lecturer, &stud1, &stud2}) {
        auto report = bot->lastLineStarting("{\"user\":");
        ASSERT_TRUE(report) << bot->output();
        EXPECT_TRUE(hasBoth(report)) << *report;
        EXPECT_NE(report->find("\"owner\":\"lect1\""), std::string::npos) << *report;
    }
    auto lecturerReport = *lecturer.lastLineStarting("{\"user\":");
    EXPECT_NE(lecturerReport.find("\"actions\":{\"ok\":2,\"failed\":0}"), std::string::npos) << lecturerReport;
    EXPECT_NE(stud1.lastLineStarting("{\"user\":")->find("\"128\":"), std::string::npos);

    server.terminate();
    EXPECT_EQ(server.wait(10s), std::optional<int>(0));
}
