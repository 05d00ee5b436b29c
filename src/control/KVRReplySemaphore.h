#pragma once
// The counting semaphore a requester waits on for its reply. It can be discarded and made anew, so that
// signals given before a request was sent cannot release that request's wait.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class KVRReplySemaphore {
public:
    enum class WaitResult { Signalled, TimedOut, Aborted };

    // Gives one signal, only when the semaphore exists (a signal without a semaphore is lost).
    void signal();
    // Makes the semaphore exist with count 0 when it does not yet exist.
    void ensure();
    // Throws away the semaphore and its pending signals, and makes a fresh one with count 0 at once, so
    // that a reply racing ahead of the wait still lands on it.
    void renew();
    // Waits for one signal; a time-out of zero or less waits without limit. Creates the semaphore (count 0)
    // when it does not exist. A renew() or abort() during the wait ends it without a signal.
    WaitResult wait(std::chrono::milliseconds timeout);
    // Ends the current wait and every later one at once (the connection is gone); reset() undoes it.
    void abort();
    void reset();

    bool exists() const;
    int count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool exists_ = false;
    int count_ = 0;
    uint64_t generation_ = 0;
    bool aborted_ = false;
};
