#include "control/KVRReplySemaphore.h"

void KVRReplySemaphore::signal() {
    {
        std::lock_guard lock(mutex_);
        if (!exists_) return;
        ++count_;
    }
    cv_.notify_all();
}

void KVRReplySemaphore::ensure() {
    std::lock_guard lock(mutex_);
    if (!exists_) {
        exists_ = true;
        count_ = 0;
    }
}

void KVRReplySemaphore::renew() {
    {
        std::lock_guard lock(mutex_);
        exists_ = true;
        count_ = 0;
        ++generation_;
    }
    cv_.notify_all();
}

KVRReplySemaphore::WaitResult KVRReplySemaphore::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!exists_) {
        exists_ = true;
        count_ = 0;
    }
    const uint64_t generation = generation_;
    auto ready = [&] { return aborted_ || count_ > 0 || generation_ != generation; };
    if (timeout.count() <= 0) {
        cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, timeout, ready)) {
        return WaitResult::TimedOut;
    }
    if (count_ > 0 && generation_ == generation) {
        --count_;
        return WaitResult::Signalled;
    }
    return WaitResult::Aborted;
}

void KVRReplySemaphore::abort() {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
    }
    cv_.notify_all();
}

void KVRReplySemaphore::reset() {
    std::lock_guard lock(mutex_);
    aborted_ = false;
}

bool KVRReplySemaphore::exists() const {
    std::lock_guard lock(mutex_);
    return exists_;
}

int KVRReplySemaphore::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}
