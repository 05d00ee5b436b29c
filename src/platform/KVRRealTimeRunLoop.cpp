#include "platform/KVRRealTimeRunLoop.h"

KVRRealTimeRunLoop::KVRRealTimeRunLoop() : mainThread_(std::this_thread::get_id()) {}

void KVRRealTimeRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }
    wake_.notify_one();
}

KVRRunLoop::TimerId KVRRealTimeRunLoop::startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) {
    std::lock_guard lock(mutex_);
    TimerId id = nextId_++;
    timers_[id] = Timer{Clock::now() + interval, interval, repeating, std::move(tick)};
    wake_.notify_one();
    return id;
}

void KVRRealTimeRunLoop::cancelTimer(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void KVRRealTimeRunLoop::quit(int exitCode) {
    {
        std::lock_guard lock(mutex_);
        if (!exitCode_) exitCode_ = exitCode;
    }
    wake_.notify_one();
}

int KVRRealTimeRunLoop::run() {
    std::unique_lock lock(mutex_);
    mainThread_ = std::this_thread::get_id();
    while (!exitCode_) {
        if (!posted_.empty()) {
            std::vector<Task> batch;
            batch.swap(posted_);
            lock.unlock();
            for (auto& t : batch) t();
            lock.lock();
            continue;
        }
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (next == timers_.end() || it->second.due < next->second.due) next = it;
        }
        if (next != timers_.end() && next->second.due <= Clock::now()) {
            Task tick = next->second.tick;
            if (next->second.repeating && next->second.interval.count() > 0) {
                next->second.due += next->second.interval;
            } else {
                timers_.erase(next);
            }
            lock.unlock();
            tick();
            lock.lock();
            continue;
        }
        if (next != timers_.end()) {
            wake_.wait_until(lock, next->second.due);
        } else {
            wake_.wait(lock);
        }
    }
    return *exitCode_;
}
