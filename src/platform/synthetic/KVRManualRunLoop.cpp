#include "platform/synthetic/KVRManualRunLoop.h"

KVRManualRunLoop::KVRManualRunLoop() : mainThread_(std::this_thread::get_id()) {}

void KVRManualRunLoop::post(Task task) {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(task));
}

KVRRunLoop::TimerId KVRManualRunLoop::startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) {
    TimerId id = nextId_++;
    timers_[id] = Timer{now_ + interval, interval, repeating, std::move(tick)};
    return id;
}

void KVRManualRunLoop::cancelTimer(TimerId id) { timers_.erase(id); }

void KVRManualRunLoop::runPending() {
    for (;;) {
        std::vector<Task> batch;
        {
            std::lock_guard lock(postMutex_);
            batch.swap(posted_);
        }
        if (batch.empty()) return;
        for (auto& t : batch) t();
    }
}

void KVRManualRunLoop::advance(std::chrono::milliseconds ms) {
    const auto end = now_ + ms;
    runPending();
    for (;;) {
        // Earliest due timer; ties go to the older timer.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        }
        if (next == timers_.end()) break;
        now_ = next->second.due;
        TimerId id = next->first;
        Task tick = next->second.tick;  // copy: the tick may cancel its own timer
        if (next->second.repeating && next->second.interval.count() > 0) {
            next->second.due += next->second.interval;
        } else {
            timers_.erase(next);
        }
        (void)id;
        tick();
        runPending();
    }
    now_ = end;
}
