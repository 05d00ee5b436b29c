#pragma once
// A real-time main loop without Qt, for the headless participant: run() serves posts and timers on the
// calling thread until quit().
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/KVRRunLoop.h"

class KVRRealTimeRunLoop : public KVRRunLoop {
public:
    KVRRealTimeRunLoop();

    void post(Task task) override;
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) override;
    void cancelTimer(TimerId id) override;
    bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }
    void quit(int exitCode) override;

    // Serves the loop until quit(); returns the exit code.
    int run();

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::time_point due;
        std::chrono::milliseconds interval;
        bool repeating;
        Task tick;
    };
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Task> posted_;
    std::map<TimerId, Timer> timers_;
    TimerId nextId_ = 1;
    std::optional<int> exitCode_;
};
