// The join and the leave against the development server on loopback, with short waits.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KVRDevMainServer.h"
#include "KVRDevRelay.h"
#include "KVRDevServer.h"
#include "app/KVRAppDelegate.h"
#include "app/KVRGlobalData.h"
#include "app/KVRStrings.h"
#include "conference/KVRConferenceHandler.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRMainView.h"
#include "conference/KVRMainViewDelegate.h"
#include "conference/KVRSubroomList.h"
#include "control/KVRMainServer.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "support/KVRTestLaunch.h"

namespace {

using namespace std::chrono_literals;

class RecordingAlerts : public KVRAlerts {
public:
    int showAlert(const std::string& message, const std::vector<std::string>&, int) override {
        std::lock_guard lock(mutex);
        messages.push_back(message);
        return answer;
    }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
    bool saw(const std::string& key) {
        std::lock_guard lock(mutex);
        for (const auto& m : messages)
            if (m == KVRStrings::text(key)) return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> messages;
    int answer = 0;
};

class RecordingWindow : public KVRMainViewDelegate {
public:
    void setWindowTitle(const std::string& t) override { title = t; }
    void setWindowFrame(int x, int y, int w, int h) override { frame = {x, y, w, h}; }
    void showWaitWindow() override { waitShown = true; }
    void hideWaitWindow() override { waitShown = false; }
    void joinStep(const std::string& step, bool ok) override { steps.push_back(step + (ok ? "" : "!")); }
    void showJoinedState(const std::string& r, const std::vector<RoomUser>& u) override {
        room = r;
        users.clear();
        for (const auto& x : u) users.push_back(x.userID);
    }
    void connectFailed() override { connectFailedCalled = true; }
    void willTerminate(int code) override { terminated = code; }

    std::string title, room;
    std::vector<int> frame;
    std::vector<std::string> steps, users;
    bool waitShown = false, connectFailedCalled = false;
    std::optional<int> terminated;
};

struct Launch {
    std::string uid = "lect1";
    int role = 1;  // IsTeacher: 1 lecturer
    std::string extra;
};

class Join : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        auto* g = KVRGlobalData::sharedGlobalData();
        g->setRunLoop(loop);
        g->setAlerts(alerts);
        app.initWork();
    }
    void TearDown() override {
        view.reset();
        auto* g = KVRGlobalData::sharedGlobalData();
        // Held here so that they are destroyed outside the registry's lock: their io threads log on
        // the way out, and the log reads the registry.
        auto main = g->mainServer();
        auto relay = g->relayServer();
        auto events = g->conferenceEventHandler();
        if (main) main->disconnectFromServer();
        g->resetForTesting();
        events.reset();
        main.reset();
        relay.reset();
        server.stop();
    }

    static KVRMainViewOptions fast() {
        KVRMainViewOptions o;
        o.control.replyWait = 400ms;
        o.control.connectPoll = 50ms;
        o.control.connectTimeout = 500ms;
        o.control.userInfoPause = 0ms;
        o.relay.bindAddress = "127.0.0.1";
        o.relay.replyWait = 300ms;
        return o;
    }

    std::string url(const Launch& l, uint16_t mainPort = 0, uint16_t relayPort = 0) {
        if (!mainPort) mainPort = server.ports().main;
        if (!relayPort) relayPort = server.ports().relay;
        return kvrtest::launchUrl(mainPort, relayPort, l.uid, l.role, l.extra);
    }

    // The launch request arrives, the watch starts the work, and a second later the join runs.
    void launch(const std::string& launchUrl) {
        app.handleGETUrlEvent(launchUrl);
        view = std::make_unique<KVRMainView>(*loop, fast());
        view->setDelegate(&window);
        view->viewDidLoad();
        loop->advance(500ms);
        loop->advance(1000ms);
    }

    // Serves posts and dispatcher ticks until `done` holds or a real second passes.
    bool pumpUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + 3s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            loop->advance(100ms);
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    // A second participant on its own control connection, to see the room from outside.
    std::unique_ptr<KVRMainServer> observer() {
        KVRMainServerTiming t;
        t.replyWait = 1000ms;
        t.connectPoll = 50ms;
        auto m = std::make_unique<KVRMainServer>(loop, t);
        EXPECT_TRUE(m->connectToServer("127.0.0.1", server.ports().main));
        EXPECT_TRUE(m->loginWithRegister("watcher", "watcher", "Watcher"));
        return m;
    }

    int64_t roomNo() { return KVRGlobalData::sharedGlobalData()->subroomList()->getSelectedSubRoomNo(); }

    bool portalLogged(const std::string& event) {
        for (const auto& e : KVRDevMainServer::readPortalLog(server.dataFolder()))
            for (const auto& f : e.fields)
                if (f == event) return true;
        return false;
    }

    KVRDevServer server;
    std::shared_ptr<KVRManualRunLoop> loop = std::make_shared<KVRManualRunLoop>();
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    KVRAppDelegate app;
    RecordingWindow window;
    std::unique_ptr<KVRMainView> view;
};

TEST_F(Join, LecturerEntersAndSeesTheRoom) {
    launch(url({}));
    ASSERT_EQ(view->state(), KVRMainView::State::InRoom) << ::testing::PrintToString(alerts->messages);
    EXPECT_EQ(window.steps, (std::vector<std::string>{"connect", "server-time", "login", "upload-server", "enter-room",
                                                      "start-conference", "enter-notify", "in-room"}));
    EXPECT_FALSE(window.waitShown);
    EXPECT_EQ(window.title, "Math");
    // The update feed's address forms a URL: the window gets its frame before the 1 s wait.
    EXPECT_EQ(window.frame, (std::vector<int>{0, 768, 1024, 768}));
    EXPECT_EQ(window.users, std::vector<std::string>{"lect1"});
    EXPECT_EQ(window.room, "Math");
    EXPECT_TRUE(alerts->messages.empty());
    // The lecturer took the empty room over.
    EXPECT_EQ(KVRGlobalData::sharedGlobalData()->subroomList()->getOwnerID(), "lect1");
    EXPECT_FALSE(loop->exitCode());
}

TEST_F(Join, JoinWaitsOneSecondAfterTheDeviceCheck) {
    app.handleGETUrlEvent(url({}));
    view = std::make_unique<KVRMainView>(*loop, fast());
    view->setDelegate(&window);
    view->viewDidLoad();
    loop->advance(500ms);
    EXPECT_EQ(window.frame.size(), 4u);
    EXPECT_TRUE(window.steps.empty());
    loop->advance(999ms);
    EXPECT_TRUE(window.steps.empty());
    loop->advance(1ms);
    EXPECT_FALSE(window.steps.empty());
}

TEST_F(Join, AUserEnteringLaterIsListed) {
    launch(url({}));
    ASSERT_EQ(view->state(), KVRMainView::State::InRoom);
    // A student enters on a connection of its own; the server tells the room (event 55).
    auto student = observer();
    ASSERT_TRUE(student->enterSubRoom(roomNo(), "watcher", 0, false, true));
    ASSERT_TRUE(pumpUntil([&] { return window.users.size() == 2; })) << ::testing::PrintToString(window.users);
    EXPECT_EQ(window.users[1], "watcher");
    ASSERT_TRUE(student->exitSubRoom(roomNo(), "watcher"));
    ASSERT_TRUE(pumpUntil([&] { return window.users.size() == 1; }));
    student->disconnectFromServer();
}

struct FailureRow {
    const char* name;
    std::function<void(KVRDevServer&)> fault;
    bool silentRelay;
    const char* message;
    KVRConferenceHandler::Step step;
    bool inFail;  // the portal hears "InFail"
};

class JoinFailure : public Join, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(JoinFailure, ShowsItsMessageAndEnds) {
    const auto& row = GetParam();
    row.fault(server);
    // A relay port where nothing answers.
    asio::io_context io;
    asio::ip::udp::socket silent(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    launch(url({}, 0, row.silentRelay ? silent.local_endpoint().port() : 0));

    EXPECT_TRUE(alerts->saw(row.message)) << ::testing::PrintToString(alerts->messages);
    EXPECT_EQ(KVRGlobalData::sharedGlobalData()->conferenceHandler()->lastFailure(), row.step);
    EXPECT_EQ(view->state(), KVRMainView::State::Closed);
    EXPECT_EQ(loop->exitCode(), KVRMainView::kExitJoinFailed);
    EXPECT_EQ(window.terminated, KVRMainView::kExitJoinFailed);
    EXPECT_EQ(portalLogged("InFail"), row.inFail);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JoinFailure,
    ::testing::Values(
        FailureRow{"ServerTime", [](KVRDevServer& s) { s.failReplies(177); }, false, "IDS_FAILED_CONNECT_2",
                   KVRConferenceHandler::Step::ServerTime, false},
        FailureRow{"LoginRefused", [](KVRDevServer& s) { s.failReplies(9); }, false, "IDS_FAILED_LOGIN",
                   KVRConferenceHandler::Step::Login, false},
        FailureRow{"NetInfoRefused", [](KVRDevServer& s) { s.failReplies(173); }, false,
                   "IDS_FAILED_LOGIN", KVRConferenceHandler::Step::Login, false},
        FailureRow{"RoomLookUp", [](KVRDevServer& s) { s.failReplies(236); }, false, "IDS_FAILED_GET_LECTURE_INFO",
                   KVRConferenceHandler::Step::LectureInfo, false},
        FailureRow{"RoomFull", [](KVRDevServer& s) { s.failReplies(54); }, false, "IDS_ERR_ROOM_FULL",
                   KVRConferenceHandler::Step::EnterSubRoom, true},
        FailureRow{"RelaySilent", [](KVRDevServer&) {}, true, "IDS_ERR_PROXY_JOIN",
                   KVRConferenceHandler::Step::RelayNat, true},
        FailureRow{"UserListEmpty", [](KVRDevServer& s) { s.failReplies(175); }, false, "IDS_FAILED_GET_USERLIST",
                   KVRConferenceHandler::Step::UserList, true},
        FailureRow{"EnterNotify", [](KVRDevServer& s) { s.failReplies(46); }, false, "IDS_FAILED_ENTER_ROOM",
                   KVRConferenceHandler::Step::EnterNotify, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Join, RefusedConnectionLeavesTheEmptyWindow) {
    asio::io_context io;
    asio::ip::tcp::acceptor closed(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    uint16_t port = closed.local_endpoint().port();
    closed.close();
    launch(url({}, port));
    EXPECT_TRUE(alerts->saw("IDS_FAILED_CONNECT"));
    EXPECT_TRUE(window.connectFailedCalled);
    EXPECT_TRUE(window.waitShown);
    EXPECT_EQ(view->state(), KVRMainView::State::Starting);
    loop->advance(5000ms);
    EXPECT_FALSE(loop->exitCode());
}

TEST_F(Join, CloseAsksThenLeavesBothServers) {
    launch(url({}));
    ASSERT_EQ(view->state(), KVRMainView::State::InRoom);
    int64_t room = roomNo();
    auto watcher = observer();
    ASSERT_EQ(watcher->isUserInRoom("lect1", room), std::optional<bool>(true));

    alerts->answer = 1;  // Cancel
    view->AppCloseEx();
    EXPECT_TRUE(alerts->saw("IDS_QUESTION_LESSON_EXIT"));
    EXPECT_EQ(view->state(), KVRMainView::State::InRoom);
    EXPECT_FALSE(loop->exitCode());

    alerts->answer = 0;  // Yes
    view->AppCloseEx();
    EXPECT_EQ(loop->exitCode(), KVRMainView::kExitOrderly);
    EXPECT_EQ(watcher->isUserInRoom("lect1", room), std::optional<bool>(false));
    for (const auto& m : server.relay()->members())
        if (m.userID == "lect1") EXPECT_NE(m.subRoomNo, room);
    EXPECT_TRUE(portalLogged("Out"));
    watcher->disconnectFromServer();
}

TEST_F(Join, LostConnectionEndsThroughTheCriticalError) {
    launch(url({}));
    ASSERT_EQ(view->state(), KVRMainView::State::InRoom);
    server.closeConnectionsOf("lect1");
    ASSERT_TRUE(pumpUntil([&] { return loop->exitCode().has_value(); }));
    EXPECT_EQ(*loop->exitCode(), KVRMainView::kExitCriticalError);
    EXPECT_EQ(view->pendingCriticalError(), KVRStrings::text("IDS_SERVER_DISCONNECTED"));
    EXPECT_TRUE(alerts->saw("IDS_SERVER_DISCONNECTED"));
    // A second report of the same loss changes nothing.
    view->criticalError("later");
    EXPECT_EQ(view->pendingCriticalError(), KVRStrings::text("IDS_SERVER_DISCONNECTED"));
}

TEST_F(Join, StudentOfAnAbsentLecturerHandsTheRoomToTheLecturer) {
    launch(url({"stud1", 0}));
    ASSERT_EQ(view->state(), KVRMainView::State::InRoom) << ::testing::PrintToString(alerts->messages);
    EXPECT_EQ(KVRGlobalData::sharedGlobalData()->subroomList()->getOwnerID(), "lect1");
    EXPECT_EQ(KVRGlobalData::sharedGlobalData()->subroomList()->getMaxUserCount(), 50);
}

}  // namespace
