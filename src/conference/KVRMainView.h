#pragma once
// The main view's logic: the parameter watch that starts the client's work once a valid launch request
// has arrived, and ends the program when none arrives. The window only shows it (KVRMainViewDelegate).
#include <chrono>
#include <optional>

#include "platform/KVRRunLoop.h"

class KVRMainViewDelegate;

class KVRMainView {
public:
    static constexpr std::chrono::milliseconds kParameterWatchInterval{500};
    static constexpr int kInvalidTicksBeforeAlert = 6;

    explicit KVRMainView(KVRRunLoop& runLoop);
    virtual ~KVRMainView();

    void setDelegate(KVRMainViewDelegate* delegate) { delegate_ = delegate; }
    KVRMainViewDelegate* delegate() const { return delegate_; }

    // The view is loaded: the parameter watch starts.
    void viewDidLoad();
    void parameterChecker();
    // The start-up sequence, once the launch parameters are valid.
    virtual void initWork();

    bool isWatching() const { return _timerParameterChecker.has_value(); }
    // The watch's failed-tick counter is process-wide; tests start it over.
    static void resetParameterCheckCounter();

private:
    KVRRunLoop& runLoop_;
    KVRMainViewDelegate* delegate_ = nullptr;
    std::optional<KVRRunLoop::TimerId> _timerParameterChecker;
};
