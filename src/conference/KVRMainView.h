#pragma once
// The main view's logic: the parameter watch, the start-up that creates the long-lived objects, the
// join in its order, and every way of closing. The window only shows it (KVRMainViewDelegate); the
// headless participant runs the very same logic with a delegate of its own.
//
// Threads: everything here runs on the main thread; the join's requests block it for at most their
// transports' reply waits.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRConferenceMainViewOps.h"
#include "control/KVRMainServer.h"
#include "platform/KVRRunLoop.h"
#include "relay/KVRRelayServer.h"

class KVRMainViewDelegate;
class KVRConferenceHandler;

// The waits of the start-up and the close; tests shorten them.
struct KVRMainViewTiming {
    std::chrono::milliseconds startDelay{1000};        // from the device check to the join
    std::chrono::milliseconds autoRecordInterval{1000};
    std::chrono::milliseconds recordStopDelay{500};    // a close while recording stops the recording
    std::chrono::milliseconds closeMessageDelay{500};  // the pending critical message after the chat upload
};

// What initWork gives the transports and the dispatcher it creates.
struct KVRMainViewOptions {
    KVRMainViewTiming timing;
    KVRMainServerTiming control;
    KVRRelayServer::Options relay;
    KVRConferenceEventTiming events;
};

class KVRMainView : public KVRConferenceMainViewOps {
public:
    static constexpr std::chrono::milliseconds kParameterWatchInterval{500};
    static constexpr int kInvalidTicksBeforeAlert = 6;

    // Exit codes of the program's end.
    static constexpr int kExitOrderly = 0;
    static constexpr int kExitJoinFailed = 1;
    static constexpr int kExitCriticalError = 2;

    enum class State { Loaded, Watching, Starting, InRoom, Closing, Closed };

    explicit KVRMainView(KVRRunLoop& runLoop, KVRMainViewOptions options = {});
    ~KVRMainView() override;

    void setDelegate(KVRMainViewDelegate* delegate) { delegate_ = delegate; }
    KVRMainViewDelegate* delegate() const { return delegate_; }
    void setOptions(const KVRMainViewOptions& options) { options_ = options; }

    // The view is loaded (awakeFromNib): push-to-talk keys, then the parameter watch.
    void viewDidLoad();
    void parameterChecker();
    // The start-up sequence, once the launch parameters are valid.
    virtual void initWork();
    void updaterDidNotFindUpdate();
    void deviceCheck();
    void start();
    bool startQuillora();
    void startAutoRecord();
    void startProgressIndicator() override;
    void stopProgressIndicator() override;

    // Closing. AppCloseEx is the close button: it asks first.
    void AppCloseEx() override;
    void AppClose() override;
    void AppCloseFromChat();
    void AppCloseFromShareDocFiles();
    void appCloseWithMessage();
    void showRecoringMessage();
    void criticalError(const std::string& text) override;
    void waringError(const std::string& text) override;
    // Leaves in order without the exit question (a headless participant whose time is over).
    void leaveWithoutQuestion();

    void enableMoveWindow(bool enable);
    void pushTalkKey(bool pressed);
    // The push-to-talk hot key's press and release.
    void pushTalkHotKey(bool pressed);
    void registerHotkeyEvent();

    State state() const { return state_; }
    bool isWatching() const { return _timerParameterChecker.has_value(); }
    std::optional<int> exitCode() const { return exitCode_; }
    const std::string& pendingCriticalError() const { return _criticalErrorMessage; }
    // The watch's failed-tick counter is process-wide; tests start it over.
    static void resetParameterCheckCounter();

    // Gives the window the room's name and users again (after a user came or went).
    void refreshJoinedState();

private:
    void runClose(bool fromShareDocFiles);
    void stopAndExit();
    void terminate();
    void step(const char* name, bool ok);
    void cancelTimer(std::optional<KVRRunLoop::TimerId>& timer);
    std::shared_ptr<KVRConferenceEventHandler> dispatcher() const;
    std::shared_ptr<KVRConferenceHandler> handler() const;

    KVRRunLoop& runLoop_;
    KVRMainViewOptions options_;
    KVRMainViewDelegate* delegate_ = nullptr;
    State state_ = State::Loaded;
    std::optional<KVRRunLoop::TimerId> _timerParameterChecker;
    std::optional<KVRRunLoop::TimerId> startTimer_;
    std::optional<KVRRunLoop::TimerId> timerAutoRecord;
    std::optional<KVRRunLoop::TimerId> recordStopTimer_;
    std::optional<KVRRunLoop::TimerId> closeMessageTimer_;
    std::string _criticalErrorMessage;
    bool joinFailed_ = false;
    bool roomViewStarted_ = false;
    std::optional<int> exitCode_;
    // Timers and callbacks check it, so a late tick after the view is gone does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
