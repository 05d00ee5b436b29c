// The bot's scheduled actions: how their command-line texts are read, and what each one sends.
#include <gtest/gtest.h>

#include "KVRBotActions.h"
#include "KVRBotOptions.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRDispatchTestSupport.h"
#include "platform/synthetic/KVRManualRunLoop.h"

using namespace kvrtest;
using namespace std::chrono_literals;

namespace {
struct Case {
    const char* option;
    std::string text;
    std::string expect;  // describe() and time, or the part of the error
    bool ok;
};

std::optional<KVRBotAction> parse(const std::string& option, const std::string& text, std::string& error) {
    if (option == "command") return KVRBotAction::parseCommand(text, error);
    if (option == "publish") return KVRBotAction::parsePublish(text, error);
    return KVRBotAction::parseToggle(text, error);
}
}  // namespace

TEST(KVRBotAction, ReadsEachOptionTextOrSaysWhatIsWrong) {
    const std::vector<Case> cases = {
        {"command", "1.5:15:hello@stud1", "1500 command 15 data \"hello\" to stud1", true},
        {"command", "2:14", "2000 command 14 to the sub-room", true},
        {"command", "0:17@stud2", "0 command 17 to stud2", true},
        {"command", "0:15:a:b", "0 command 15 data \"a:b\" to the sub-room", true},
        {"command", "0:15:", "0 command 15 data \"\" to the sub-room", true},
        {"command", "x:15", "AT_SECONDS", false},
        {"command", "15", "AT_SECONDS", false},
        {"command", "-1:15", "AT_SECONDS", false},
        {"command", "1:abc", "command number", false},
        {"command", "1:70000", "command number", false},
        {"command", std::string("1:15:a\x04z"), "separators", false},
        {"command", "1:15@", "not a user ID", false},
        {"command", "1:15@" + std::string(24, 'u'), "not a user ID", false},
        {"publish", "1:audio=stud1", "1000 publish audio=stud1", true},
        {"publish", "1:audio=-stud1", "1000 publish audio=-stud1", true},
        {"publish", "0:confmode=2", "0 publish confmode=2", true},
        {"publish", "0:chatonoff=1", "0 publish chatonoff=1", true},
        {"publish", "1:bogus=1", "unknown key", false},
        {"publish", "1:confmode=two", "integer", false},
        {"publish", "1:audio=", "USERID", false},
        {"publish", "1:chatonoff=a|b", "separators", false},
        {"publish", std::string("1:adminid=a\x01" "b"), "separators", false},
        {"publish", "1:confmode", "KEY=VALUE", false},
        {"toggle", "0:mic:stud1", "0 toggle mic stud1", true},
        {"toggle", "0.25:drawing:s2", "250 toggle drawing s2", true},
        {"toggle", "0:camera:s1", "mic|drawing", false},
        {"toggle", "0:mic:", "not a user ID", false},
        {"toggle", "0:mic:a|b", "not a user ID", false},
    };
    for (const auto& c : cases) {
        std::string error;
        auto a = parse(c.option, c.text, error);
        ASSERT_EQ(a.has_value(), c.ok) << c.option << " " << c.text << ": " << error;
        if (a)
            EXPECT_EQ(std::to_string(a->at.count()) + " " + a->describe(), c.expect) << c.text;
        else
            EXPECT_NE(error.find(c.expect), std::string::npos) << c.text << ": " << error;
    }

    // The option table takes them in command-line order.
    std::string error;
    auto o = KVRBotOptions::parse({"--url", "u", "--wait-users", "3", "--toggle", "0:mic:s1", "--command=2:14"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->waitUsers, std::optional<int>(3));
    ASSERT_EQ(o->actions.size(), 2u);
    EXPECT_EQ(o->actions[0].kind, KVRBotAction::Kind::Toggle);
    EXPECT_EQ(o->actions[1].kind, KVRBotAction::Kind::Command);
    EXPECT_FALSE(KVRBotOptions::parse({"--url", "u", "--wait-users", "0"}, error));
}

TEST(KVRBotActions, SendsCommandsAndPublishesOnlyWithControlPermission) {
    auto loop = std::make_shared<KVRManualRunLoop>();
    auto control = std::make_shared<FakeControl>();
    Room room("lect1");
    useConfig(" /UID:lect1 /NTP:1");
    room.state->setOwnerID("lect1");
    auto dispatcher = std::make_shared<KVRConferenceEventHandler>(loop, control);
    std::vector<std::string> lines;
    KVRBotActions actions(dispatcher, [&](const std::string& l) { lines.push_back(l); }, control);
    std::string error, why;

    // A schedule runs at its times and reports each action.
    actions.schedule(*loop, {*KVRBotAction::parseCommand("1:15:hi@stud1", error),
                             *KVRBotAction::parseCommand("2:14", error)});
    loop->advance(1s);
    ASSERT_EQ(control->sent.size(), 1u);
    EXPECT_EQ(control->sent[0].request, "clientEx");
    EXPECT_EQ(control->sent[0].target, "stud1");
    EXPECT_EQ(control->sent[0].data, "hi");
    loop->advance(1s);
    ASSERT_EQ(control->sent.size(), 2u);
    EXPECT_EQ(control->sent[1].request, "client");
    EXPECT_EQ(control->sent[1].target, "12");
    EXPECT_EQ(actions.succeeded(), 2);
    EXPECT_EQ(lines.back(), "kelvara-bot: action command 14 to the sub-room ok");

    // Granting a right already held sends nothing; a new grant publishes the state once.
    control->sent.clear();
    EXPECT_TRUE(actions.run(*KVRBotAction::parsePublish("0:audio=stud1", error), why));
    EXPECT_TRUE(room.state->isHasAudioPermission("stud1"));
    EXPECT_TRUE(actions.run(*KVRBotAction::parsePublish("0:audio=stud1", error), why));
    EXPECT_EQ(control->count("conf"), 1u);
    EXPECT_TRUE(actions.run(*KVRBotAction::parsePublish("0:audio=-stud1", error), why));
    EXPECT_FALSE(room.state->isHasAudioPermission("stud1"));
    EXPECT_TRUE(actions.run(*KVRBotAction::parsePublish("0:chatonoff=0", error), why));
    EXPECT_EQ(room.state->getChatOnOff(), "0");
    EXPECT_EQ(control->count("conf"), 3u);
    // A refused publish is reported, not taken for done.
    control->confInfoResult = false;
    EXPECT_FALSE(actions.run(*KVRBotAction::parsePublish("0:confmode=1", error), why));
    EXPECT_EQ(room.state->getConfMode(), 0);
    control->confInfoResult = true;

    // A participant may not change the room's state.
    useConfig(" /UID:stud1 /NTP:0");
    control->sent.clear();
    EXPECT_FALSE(actions.run(*KVRBotAction::parsePublish("0:adminid=stud1", error), why));
    EXPECT_EQ(why, "no control permission");
    EXPECT_FALSE(actions.run(*KVRBotAction::parseToggle("0:mic:stud2", error), why));
    EXPECT_TRUE(control->sent.empty());
    EXPECT_NE(KVRBotActions::stateJson().find("\"owner\":\"lect1\""), std::string::npos);
}
