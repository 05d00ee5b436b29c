#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "KVRDispatchTestSupport.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "conference/KVRChangeOwnerController.h"
#include "conference/KVRClientCommand.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRLogoutInfo.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "portal/KVRQuilloraLog.h"

using namespace kvrtest;
using namespace std::chrono_literals;

namespace {
struct Notices : KVRNoticeMessageDelegate {
    std::vector<std::pair<int, std::string>> notices;
    std::vector<std::string> messages;
    std::function<void()> onMessage;
    void normalMessage(int type, const std::string& id) override { notices.emplace_back(type, id); }
    void receivedMessage(const std::string&, const std::string& m) override {
        messages.push_back(m);
        if (onMessage) onMessage();
    }
};
struct RoomView : KVRRoomViewDelegate {
    std::vector<std::string> calls;
    void addUser(const std::string& id) override { calls.push_back("add " + id); }
    void removeAtUser(const std::string& id) override { calls.push_back("remove " + id); }
    void enlargeVideo(const std::optional<std::string>& id, const std::optional<std::string>&) override {
        calls.push_back("enlarge " + id.value_or("<none>"));
    }
};
struct Panel : KVREnqueteViewDelegate {
    std::vector<std::string> got;
    void alarmQuilloraData(int64_t req, int64_t result, const std::string& data) override {
        got.push_back(std::to_string(req) + "/" + std::to_string(result) + "/" + data);
    }
};
struct Views : KVRWebShareViewDelegate, KVRBoardContainerDelegate {
    std::vector<std::string> calls;
    void scrollToByRemote(int32_t x, int32_t y) override {
        calls.push_back("scroll " + std::to_string(x) + "," + std::to_string(y));
    }
    void drawByRemote(std::span<const uint8_t> doc) override { calls.push_back("draw " + std::to_string(doc.size())); }
};
struct Answer : KVRAlerts {
    int button = 0;
    int shown = 0;
    int showAlert(const std::string&, const std::vector<std::string>&, int) override {
        ++shown;
        return button;
    }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
};

// A room with owner "own" in sub-room 12, the own client "me", and a dispatcher wired to fakes.
struct Rig {
    std::shared_ptr<KVRManualRunLoop> loop = std::make_shared<KVRManualRunLoop>();
    std::shared_ptr<FakeControl> control = std::make_shared<FakeControl>();
    Room room;
    FakeRoomOps ops{room};
    FakeMainView mainView;
    Notices notices;
    std::unique_ptr<KVRConferenceEventHandler> d;

    explicit Rig(const std::string& launch, bool start = true) : room("own") {
        useConfig(launch);
        KVRGlobalData::sharedGlobalData()->setQuilloraLog(std::make_shared<KVRQuilloraLog>(control));
        d = std::make_unique<KVRConferenceEventHandler>(loop, control);
        d->setDelegateMainView(&mainView);
        d->setConferenceRoomOps(&ops);
        d->setNoticeMessageViewManager(&notices);
        room.users->addUser(userRecord("own", "100"));
        room.users->addUser(userRecord("me", "0"));
        if (start) d->startConference();
    }
    void push(uint16_t command, const std::string& payload, uint16_t sub = 1) {
        d->serverAlarmPacket(event(command, payload, sub));
    }
    // Handles everything queued.
    void drain() {
        while (d->queuedEventCount()) loop->advance(100ms);
    }
    // An event 128 carrying the live state after `edit`.
    std::string stateAlarm(const std::function<void(KVRCurrentConferenceInfo&)>& edit) {
        KVRCurrentConferenceInfo copy(*room.state);
        edit(copy);
        return *KVRCurrentConferenceInfo::alarmLayoutFromPublished("own", copy.getInfo());
    }
};

std::string clientCommand(const std::string& sender, const std::string& part) {
    return join({sender, "", part}) + "\x02";
}
}  // namespace

TEST(KVRConferenceEventHandler, QueuedEventsWaitForTheStartAndComeOnePerTickInOrder) {
    Rig rig(" /UID:me /NTP:0", false);
    for (auto m : {"a", "b", "c"}) rig.push(854, clientCommand("own", std::string("15\x04") + m + "\x04"));
    rig.loop->advance(1s);
    EXPECT_TRUE(rig.notices.messages.empty());
    rig.d->startConference();
    rig.loop->advance(99ms);
    EXPECT_TRUE(rig.notices.messages.empty());
    rig.loop->advance(1ms);
    EXPECT_EQ(rig.notices.messages, std::vector<std::string>{"a"});
    rig.loop->advance(200ms);
    EXPECT_EQ(rig.notices.messages, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(KVRConferenceEventHandler, AHandlerSpinningTheLoopIsNotReentered) {
    Rig rig(" /UID:me /NTP:0");
    // The first message spins the loop as a modal alert would; the others must wait for it.
    rig.notices.onMessage = [&] {
        if (rig.notices.messages.size() == 1) {
            rig.loop->advance(500ms);
            EXPECT_EQ(rig.notices.messages.size(), 1u);
        }
    };
    for (auto m : {"a", "b", "c"}) rig.push(854, clientCommand("own", std::string("15\x04") + m + "\x04"));
    rig.drain();
    EXPECT_EQ(rig.notices.messages, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(KVRConferenceEventHandler, EnterAndExitFollowTheSelectedSubRoom) {
    Rig rig(" /UID:me /NTP:0");
    RoomView view;
    rig.d->setDelegateLearningMainView(&view);
    rig.push(55, join({"u1", "13"}) + "\x02");  // another sub-room
    rig.push(55, join({"u1", "12"}) + "\x02");
    rig.push(55, join({"u1", "12"}) + "\x02");
    rig.push(55, "u2");  // too few fields
    rig.push(56, "ghost");  // not listed: nothing
    rig.drain();
    EXPECT_EQ(rig.room.users->count(), 3u);
    EXPECT_TRUE(rig.room.users->isExist("u1"));
    rig.push(56, "u1");
    rig.drain();
    EXPECT_FALSE(rig.room.users->isExist("u1"));
    EXPECT_EQ(view.calls, (std::vector<std::string>{"add u1", "add u1", "remove u1"}));
}

TEST(KVRConferenceEventHandler, OwnerAbsentWindowCountsDownForAParticipantOnly) {
    {
        Rig lecturer(" /UID:me /NTP:1");
        lecturer.push(56, join({"own", "12"}));
        lecturer.drain();
        EXPECT_FALSE(lecturer.d->logoutInfo()->isStarted());
    }
    Rig rig(" /UID:me /NTP:0 /RNM:Physics");
    KVRStrings::load("en");
    rig.push(56, join({"own", "12"}));
    rig.drain();
    auto* info = rig.d->logoutInfo();
    ASSERT_TRUE(info->isStarted());
    EXPECT_EQ(info->remainTime(), 600);
    EXPECT_NE(info->text().find(" 10:00 "), std::string::npos) << info->text();
    rig.loop->advance(599s);
    EXPECT_EQ(info->remainTime(), 1);
    EXPECT_EQ(rig.mainView.appClose, 0);
    rig.loop->advance(1s);
    EXPECT_FALSE(info->isStarted());
    EXPECT_EQ(rig.mainView.appClose, 1);
}

TEST(KVRConferenceEventHandler, OwnersReturnStopsTheCountDown) {
    Rig rig(" /UID:me /NTP:0");
    rig.push(56, join({"own", "12"}));
    rig.drain();
    ASSERT_TRUE(rig.d->logoutInfo()->isStarted());
    rig.ops.types["own"] = "100";
    rig.push(55, join({"own", "12"}));
    rig.drain();
    EXPECT_FALSE(rig.d->logoutInfo()->isStarted());
    rig.loop->advance(700s);
    EXPECT_EQ(rig.mainView.appClose, 0);
}

TEST(KVRConferenceEventHandler, LecturerTakesTheSeminarRoomOverAndOthersFollow) {
    // Own client is a second lecturer (103) in a seminar room; the owner leaves.
    Rig rig(" /UID:me /NTP:4 /MST:9");
    rig.room.users->removeAtUser("me");
    rig.room.users->addUser(userRecord("me", "103"));
    rig.push(56, join({"own", "12"}));
    rig.drain();
    rig.loop->advance(499ms);
    EXPECT_EQ(rig.control->count("conf"), 0u);
    rig.loop->advance(1ms);
    EXPECT_EQ(rig.ops.refreshes, 1);
    EXPECT_EQ(rig.room.state->getOwnerID(), "me");
    EXPECT_EQ(rig.control->count("conf"), 1u);

    // Another client sees the published owner change and moves the ownership to the administrator.
    Rig other(" /UID:p /NTP:0 /MST:9");
    other.room.state->setAdminID("me");
    other.ops.refreshedOwner = "own";
    other.push(128, other.stateAlarm([](auto& s) { s.setOwnerID("me"); }));
    other.drain();
    other.loop->advance(500ms);
    EXPECT_EQ(other.ops.refreshes, 1);
    EXPECT_EQ(other.room.state->getOwnerID(), "me");
    EXPECT_EQ(other.control->count("conf"), 0u);

    // A failed refresh is a protocol failure.
    Rig broken(" /UID:p /NTP:0 /MST:9");
    broken.ops.refreshResult = false;
    broken.push(128, broken.stateAlarm([](auto& s) { s.setOwnerID("x"); }));
    broken.drain();
    broken.loop->advance(500ms);
    ASSERT_EQ(broken.mainView.critical.size(), 1u);
}

TEST(KVRConferenceEventHandler, StateEventsRaiseTheirNoticesAndEnlargement) {
    struct Case {
        const char* name;
        std::string uid;
        int notice;
    } cases[] = {{"added user hears notice 5", "me", 5}, {"everyone else notice 8", "p", 8}};
    for (const auto& c : cases) {
        Rig rig(" /UID:" + c.uid + " /NTP:0");
        rig.room.state->setAudioIDs("own|");
        rig.push(128, rig.stateAlarm([](auto& s) { s.setAudioIDs("own|me|"); }));
        rig.drain();
        ASSERT_EQ(rig.notices.notices.size(), 1u) << c.name;
        EXPECT_EQ(rig.notices.notices[0].first, c.notice) << c.name;
    }

    Rig rig(" /UID:me /NTP:0");
    RoomView view;
    rig.d->setDelegateLearningMainView(&view);
    rig.push(128, rig.stateAlarm([](auto& s) {
        s.setConfMode(0x22);
        s.setEnlargeVideoID("u7");
    }));
    rig.push(128, rig.stateAlarm([](auto& s) {
        s.setConfMode(0x22);
        s.setEnlargeVideoID("u7");
    }));  // no change: nothing
    rig.drain();
    rig.push(128, rig.stateAlarm([](auto& s) { s.setConfMode(0x02); }));
    rig.drain();
    EXPECT_EQ(view.calls, (std::vector<std::string>{"enlarge u7", "enlarge <none>"}));
}

TEST(KVRConferenceEventHandler, RejectedStateTextIsSkipped) {
    Rig rig(" /UID:me /NTP:0");
    rig.room.state->setAudioIDs("own|me|");
    rig.room.state->setOwnerID("own");
    rig.push(128, "short\x01text\x02");
    rig.drain();
    EXPECT_TRUE(rig.notices.notices.empty());
    EXPECT_EQ(rig.room.state->getOwnerID(), "own");
    EXPECT_EQ(rig.room.state->dicAudioIDs().size(), 2u);
}

TEST(KVRConferenceEventHandler, PortalRepliesGoToThePollPanels) {
    Rig rig(" /UID:me /NTP:0");
    Panel lecturer, participant;
    rig.d->setDelegateEnqueteView(&lecturer);
    rig.d->setDelegateEnqueteAckView(&participant);
    rig.push(898, "895", 3);
    rig.push(898, join({"894", "ok"}), 2);
    rig.push(898, join({"893", "x"}), 2);
    rig.push(898, "");
    rig.drain();
    EXPECT_EQ(participant.got, std::vector<std::string>{"895/3/Unknown Error"});
    EXPECT_EQ(lecturer.got, std::vector<std::string>{"894/2/ok"});
}

TEST(KVRConferenceEventHandler, DocDatagramsScrollTheWebViewOrDrawInArrivalOrder) {
    Rig rig(" /UID:me /NTP:0", false);
    Views views;
    rig.d->setDelegateWebSahreBackView(&views);
    rig.d->setDelegateBoardContainerView(&views);
    auto datagram = [](uint16_t mode, int32_t x, int32_t y, size_t size = 400) {
        std::vector<uint8_t> d(size, 0);
        auto put = [&](size_t at, uint32_t v, int n) {
            for (int i = 0; i < n; ++i) d[at + i] = uint8_t(v >> (8 * i));
        };
        put(34 + 322, mode, 2);
        put(34 + 328, uint32_t(x), 4);
        put(34 + 332, uint32_t(y), 4);
        return d;
    };
    rig.d->receivedDocmentData(datagram(23, 5, 6), {});
    rig.loop->runPending();
    EXPECT_TRUE(views.calls.empty());  // before the start: dropped
    rig.d->startConference();
    rig.d->receivedDocmentData(datagram(23, -5, 60), {});
    rig.d->receivedDocmentData(datagram(1, 0, 0), {});
    rig.d->receivedDocmentData(std::vector<uint8_t>(100, 0), {});  // too short: dropped
    rig.loop->runPending();
    EXPECT_EQ(views.calls, (std::vector<std::string>{"scroll -5,60", "draw 366"}));
}

TEST(KVRClientCommand, ParsesTheReceivedLayout) {
    struct Case {
        std::string payload;
        bool ok;
        int64_t command;
        std::string data;
    } cases[] = {
        {clientCommand("a", "15\x04hi\x04"), true, 15, "hi"},
        {clientCommand("a", "10\x04"), true, 10, ""},
        {clientCommand("a", "15\x04" "ab\x05" "cd\x04"), true, 15, "ab"},
        {join({"a", ""}), false, 0, ""},
        {clientCommand("a", ""), false, 0, ""},
        {"", false, 0, ""},
    };
    for (const auto& c : cases) {
        auto got = KVRClientCommand::parse(c.payload);
        ASSERT_EQ(got.has_value(), c.ok) << c.payload;
        if (!got) continue;
        EXPECT_EQ(got->senderID, "a");
        EXPECT_EQ(got->command, c.command);
        EXPECT_EQ(got->data, c.data);
    }
}

TEST(KVRConferenceEventHandler, DeviceInfoAnswersOnlyTheAsker) {
    Rig rig(" /UID:me /NTP:0");
    rig.push(854, clientCommand("a", "10\x04"));
    rig.push(854, clientCommand("a", "5\x04"));
    rig.push(854, clientCommand("a", "9\x04"));
    rig.push(854, clientCommand("a", "18\x04" "1\x04"));
    rig.drain();
    ASSERT_EQ(rig.control->sent.size(), 1u);
    EXPECT_EQ(rig.control->sent[0].request, "clientEx");
    EXPECT_EQ(rig.control->sent[0].target, "a");
    EXPECT_EQ(rig.control->sent[0].cmd, 12);
    EXPECT_TRUE(rig.notices.notices.empty());
}

TEST(KVRConferenceEventHandler, KickOutIsObeyedOnlyFromTheRoomsAuthority) {
    Rig rig(" /UID:me /NTP:0");
    rig.room.users->addUser(userRecord("peer", "0"));
    rig.push(854, clientCommand("peer", "17\x04"));
    rig.drain();
    EXPECT_TRUE(rig.mainView.critical.empty());
    EXPECT_TRUE(rig.control->sent.empty());

    rig.push(854, clientCommand("own", "17\x04"));
    rig.drain();
    ASSERT_EQ(rig.control->sent.size(), 1u);
    EXPECT_EQ(rig.control->sent[0].request, "log");
    EXPECT_NE(rig.control->sent[0].data.find("\x01Workout\x01"), std::string::npos);
    EXPECT_EQ(rig.mainView.critical, std::vector<std::string>{KVRStrings::text("IDS_KICKED_OUT")});
}

TEST(KVRConferenceEventHandler, DeviceChangeIsObeyedOnlyFromTheRoomsAuthority) {
    struct Maker : KVRDeviceInfoMakerDelegate {
        std::vector<std::string> changes;
        void setChangeDeviceInfo(const std::string& sender, const std::string& data) override {
            changes.push_back(sender + ":" + data);
        }
    } maker;
    Rig rig(" /UID:me /NTP:0");
    rig.d->setDeviceInfoMaker(&maker);
    rig.room.users->addUser(userRecord("peer", "0"));
    rig.room.users->addUser(userRecord("second", "103"));
    rig.room.users->addUser(userRecord("monitor", "101"));
    rig.room.state->setAdminID("chair");
    // Participants, monitors and strangers may not switch someone's camera or microphone.
    for (auto sender : {"peer", "monitor", "stranger"}) rig.push(854, clientCommand(sender, "11\x04" "cam=0\x04"));
    rig.drain();
    EXPECT_TRUE(maker.changes.empty());
    std::ifstream log(KVRLogSettings::currentLogFile());
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(text.find("Client command 11 from peer ignored"), std::string::npos);
    EXPECT_NE(text.find("Client command 11 from stranger ignored"), std::string::npos);

    for (auto sender : {"own", "chair", "second"}) rig.push(854, clientCommand(sender, "11\x04" "cam=1\x04"));
    rig.drain();
    EXPECT_EQ(maker.changes, (std::vector<std::string>{"own:cam=1", "chair:cam=1", "second:cam=1"}));
    EXPECT_TRUE(rig.mainView.critical.empty());
}

TEST(KVRConferenceEventHandler, ChairRequestNamesTheSender) {
    Rig rig(" /UID:me /NTP:0");
    rig.push(854, clientCommand("stranger", "3\x04"));
    rig.drain();
    ASSERT_EQ(rig.notices.notices.size(), 1u);
    EXPECT_EQ(rig.notices.notices[0], (std::pair<int, std::string>{0, "stranger"}));
}

TEST(KVRConferenceEventHandler, PermissionTogglesAndModeChanges) {
    Rig student(" /UID:me /NTP:0 /MST:9");
    EXPECT_FALSE(student.d->toggleMicPermission("p"));
    EXPECT_TRUE(student.control->sent.empty());

    Rig rig(" /UID:me /NTP:1 /MST:9");
    EXPECT_FALSE(rig.d->toggleMicPermission("me"));
    EXPECT_FALSE(rig.d->toggleDrawingPermission("me"));
    EXPECT_TRUE(rig.control->sent.empty());
    EXPECT_TRUE(rig.d->toggleMicPermission("p"));
    EXPECT_TRUE(rig.room.state->isHasAudioPermission("p"));
    EXPECT_EQ(rig.control->count("conf"), 1u);

    const auto mode = rig.room.state->getConfMode();
    EXPECT_FALSE(rig.d->setConferenceMode(mode));
    EXPECT_EQ(rig.control->count("conf"), 1u);
    rig.control->confInfoResult = false;
    EXPECT_FALSE(rig.d->setConferenceMode(mode + 1));
    EXPECT_EQ(rig.room.state->getConfMode(), mode);
    EXPECT_EQ(rig.mainView.warnings, std::vector<std::string>{KVRStrings::text("IDS_FAILED_SET_ROOMENV")});
    rig.control->confInfoResult = true;
    EXPECT_TRUE(rig.d->setScreenType(7));
    EXPECT_EQ(rig.room.state->getClassScreenType(), 7);
}

TEST(KVRChangeOwnerController, EnablingRulesAndHandOver) {
    Rig rig(" /UID:me /NTP:1 /MST:9");
    auto answer = std::make_shared<Answer>();
    KVRGlobalData::sharedGlobalData()->setAlerts(answer);
    rig.room.state->setOwnerID("own");
    KVRChangeOwnerController dialog(*rig.d, &rig.ops);
    dialog.refresh();
    ASSERT_EQ(dialog.numberOfRows(), 1u);  // only the owner is a lecturer
    dialog.selectRow(0);
    EXPECT_FALSE(dialog.isChangeEnabled());

    rig.room.users->addUser(userRecord("lect2", "103"));
    dialog.refresh();
    ASSERT_EQ(dialog.numberOfRows(), 2u);
    dialog.selectRow(1);
    EXPECT_TRUE(dialog.isChangeEnabled());

    answer->button = 1;  // "No"
    EXPECT_FALSE(dialog.changeOwner());
    EXPECT_TRUE(rig.ops.ownerUpdates.empty());

    answer->button = 0;
    EXPECT_TRUE(dialog.changeOwner());
    EXPECT_EQ(rig.ops.ownerUpdates, std::vector<std::string>{"lect2"});
    EXPECT_EQ(rig.room.state->getOwnerID(), "lect2");
    EXPECT_EQ(rig.control->count("conf"), 1u);
    EXPECT_EQ(dialog.row(1).statusText, KVRStrings::text("IDS_MAIN_LECTURER"));
    EXPECT_FALSE(dialog.isChangeEnabled());

    Rig student(" /UID:me /NTP:0 /MST:9");
    KVRChangeOwnerController other(*student.d, &student.ops);
    student.room.users->addUser(userRecord("lect2", "103"));
    other.refresh();
    other.selectRow(1);
    const int shown = answer->shown;
    EXPECT_FALSE(other.changeOwner());
    EXPECT_EQ(answer->shown, shown);
}
