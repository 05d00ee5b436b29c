#pragma once
// A run loop on a virtual clock for tests: nothing happens until the test advances time or drains posts.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/KVRRunLoop.h"

class KVRManualRunLoop : public KVRRunLoop {
public:
    KVRManualRunLoop();

    void post(Task task) override;
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) override;
    void cancelTimer(TimerId id) override;
    bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }
    void quit(int exitCode) override { exitCode_ = exitCode; }

    // Runs every posted task (and the tasks those post) without moving the clock.
    void runPending();
    // Moves virtual time forward, firing due timers in time order and draining posts between them.
    void advance(std::chrono::milliseconds ms);
    std::chrono::milliseconds now() const { return now_; }
    size_t activeTimers() const { return timers_.size(); }

    std::optional<int> exitCode() const { return exitCode_; }

private:
    struct Timer {
        std::chrono::milliseconds due;
        std::chrono::milliseconds interval;
        bool repeating;
        Task tick;
    };
    std::thread::id mainThread_;
    std::chrono::milliseconds now_{0};
    TimerId nextId_ = 1;
    std::map<TimerId, Timer> timers_;
    std::mutex postMutex_;
    std::vector<Task> posted_;
    std::optional<int> exitCode_;
};
