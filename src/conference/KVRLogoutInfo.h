#pragma once
// The owner-absent count-down: shown to a participant when the room's owner has left; it ends the
// program when the owner does not come back in time. The window only shows it (KVRLogoutWindowDelegate).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/KVRRunLoop.h"

class KVRLogoutWindowDelegate {
public:
    virtual ~KVRLogoutWindowDelegate() = default;
    // Brings the window to the front above other windows, titled with the room name.
    virtual void showLogoutWindow(const std::string& title) = 0;
    virtual void setLogoutText(const std::string& text) = 0;
    virtual void closeLogoutWindow() = 0;
};

class KVRLogoutInfo {
public:
    static constexpr int64_t kStartSeconds = 600;

    // `onExpired` runs when the count reaches 0 (and when the user presses OK).
    KVRLogoutInfo(std::shared_ptr<KVRRunLoop> runLoop, std::function<void()> onExpired,
                  std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~KVRLogoutInfo();

    void setWindow(KVRLogoutWindowDelegate* window) { window_ = window; }
    // Shows the window and counts down from 10:00.
    void start(const std::string& title);
    // Stops the count-down and closes the window.
    void stop();
    // The window's OK button.
    void buttonOK();
    void logoutTimer();

    bool isStarted() const { return _isStarted; }
    int64_t remainTime() const { return remainTime_; }
    std::string text() const;
    static std::string formatText(int64_t remainTime);

private:
    std::shared_ptr<KVRRunLoop> runLoop_;
    std::function<void()> onExpired_;
    std::chrono::milliseconds interval_;
    KVRLogoutWindowDelegate* window_ = nullptr;
    std::optional<KVRRunLoop::TimerId> timerChecker_;
    int64_t remainTime_ = kStartSeconds;
    bool _isStarted = false;
};
