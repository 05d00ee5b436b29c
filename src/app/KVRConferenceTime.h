#pragma once
// The lecture clock: whether now lies within the lecture window of the launch parameters, and the
// 1 s watch that marks the moment the lecture time is reached.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/KVRClock.h"
#include "platform/KVRRunLoop.h"

class KVRConfig;

class KVRConferenceTime {
public:
    KVRConferenceTime(std::shared_ptr<KVRConfig> config, KVRRunLoop* runLoop, KVRWallClock clock = kvrSystemClock());
    ~KVRConferenceTime();

    void startCheck();
    void lectureStateChecker();
    int64_t lectureState() const { return _lectureState; }
    bool isLectureTime() const;
    bool isLectureTime(std::chrono::system_clock::time_point moment) const;

private:
    std::shared_ptr<KVRConfig> config_;
    KVRRunLoop* runLoop_;
    KVRWallClock clock_;
    int64_t _lectureState = 0;
    std::optional<KVRRunLoop::TimerId> _timerLectureStateChecker;
};
