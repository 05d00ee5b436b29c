#pragma once
// The main thread's run loop as core sees it: posting work to the main thread, timers on it, and the
// end of the program. Qt implements it in the app, KVRRealTimeRunLoop in the bot, KVRManualRunLoop in tests.
#include <chrono>
#include <cstdint>
#include <functional>

class KVRRunLoop {
public:
    using TimerId = uint64_t;
    using Task = std::function<void()>;

    virtual ~KVRRunLoop() = default;

    // Thread-safe: runs `task` on the main thread, in posting order.
    virtual void post(Task task) = 0;
    // Main thread only. The first tick comes one interval from now.
    virtual TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) = 0;
    // Main thread only; an unknown or finished timer is ignored. Safe to call from inside the tick.
    virtual void cancelTimer(TimerId id) = 0;
    virtual bool isMainThread() const = 0;
    // Ends the program's main loop with the given exit code.
    virtual void quit(int exitCode) = 0;
};
