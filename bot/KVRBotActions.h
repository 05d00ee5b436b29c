#pragma once
// What a bot does in the room on a schedule: send client commands, publish changes of the conference
// state, toggle a participant's speaking or drawing right. Each action is parsed from its command-line
// text, runs once on the main thread at its time after the bot entered the room, and reports one line.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conference/KVRConferenceDelegates.h"
#include "platform/KVRRunLoop.h"

class KVRConferenceControl;
class KVRConferenceEventHandler;

struct KVRBotAction {
    enum class Kind { Command, Publish, Toggle };
    enum class Right { Mic, Drawing };

    Kind kind = Kind::Command;
    std::chrono::milliseconds at{0};
    // Command: number, data (nothing: none), addressee (nothing: the whole sub-room).
    int64_t command = 0;
    std::optional<std::string> data;
    std::optional<std::string> user;
    // Publish: a state key and its new value.
    std::string key;
    std::string value;
    // Toggle.
    Right right = Right::Mic;

    // "AT:CMD[:DATA][@USER]", "AT:KEY=VALUE", "AT:mic|drawing:USERID". Nothing and `error` on bad text.
    static std::optional<KVRBotAction> parseCommand(const std::string& text, std::string& error);
    static std::optional<KVRBotAction> parsePublish(const std::string& text, std::string& error);
    static std::optional<KVRBotAction> parseToggle(const std::string& text, std::string& error);
    // The keys --publish accepts.
    static const std::vector<std::string>& publishKeys();

    std::string describe() const;
};

// Runs a bot's actions and watches the room for it: registered with the dispatcher as the user list
// and the notice manager, it reports every change of the speaking, drawing, chair or owner state it is
// told of, and every notice, as a line.
class KVRBotActions : public KVRWindowManagerDelegate, public KVRNoticeMessageDelegate {
public:
    using Line = std::function<void(const std::string&)>;

    // `control` may be null: the registry's control client is used. Registers with `dispatcher` at once.
    KVRBotActions(std::shared_ptr<KVRConferenceEventHandler> dispatcher, Line line,
                  std::shared_ptr<KVRConferenceControl> control = nullptr);
    ~KVRBotActions() override;
    KVRBotActions(const KVRBotActions&) = delete;
    KVRBotActions& operator=(const KVRBotActions&) = delete;

    // Schedules every action on `loop`, each at its time from now (the bot has just entered the room).
    void schedule(KVRRunLoop& loop, const std::vector<KVRBotAction>& actions);
    // Runs one action now; false when it was refused or failed (the reason in `why`).
    bool run(const KVRBotAction& action, std::string& why);
    int succeeded() const { return succeeded_; }
    int failed() const { return failed_; }

    // KVRWindowManagerDelegate: what the dispatcher fans out after a state change.
    void allocVideoOwner() override { stateChanged(); }
    void refreshUserList() override { stateChanged(); }
    void changedAudioPermission() override { stateChanged(); }
    void changedDrawingPermission() override { stateChanged(); }
    // KVRNoticeMessageDelegate.
    void normalMessage(int type, const std::string& userID) override;
    void receivedMessage(const std::string& senderID, const std::string& message) override;

    // The conference state as the final report shows it: owner, chair, mode, and the audio, doc and
    // chat sets, as a JSON object.
    static std::string stateJson();

private:
    bool publish(const KVRBotAction& action, std::string& why);
    void stateChanged();

    std::shared_ptr<KVRConferenceEventHandler> dispatcher_;
    Line line_;
    std::shared_ptr<KVRConferenceControl> control_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string lastState_;
    int succeeded_ = 0;
    int failed_ = 0;
};
