#include "app/KVRConferenceTime.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"

KVRConferenceTime::KVRConferenceTime(std::shared_ptr<KVRConfig> config, KVRRunLoop* runLoop, KVRWallClock clock)
    : config_(std::move(config)), runLoop_(runLoop), clock_(std::move(clock)) {}

KVRConferenceTime::~KVRConferenceTime() {
    if (_timerLectureStateChecker && runLoop_) runLoop_->cancelTimer(*_timerLectureStateChecker);
}

void KVRConferenceTime::startCheck() {
    if (_lectureState == 1 || _timerLectureStateChecker || !runLoop_) return;
    _timerLectureStateChecker = runLoop_->startTimer(std::chrono::seconds(1), true, [this] { lectureStateChecker(); });
}

void KVRConferenceTime::lectureStateChecker() {
    if (!isLectureTime()) return;
    if (_timerLectureStateChecker && runLoop_) runLoop_->cancelTimer(*_timerLectureStateChecker);
    _timerLectureStateChecker.reset();
    _lectureState = 1;
}

bool KVRConferenceTime::isLectureTime() const { return isLectureTime(clock_()); }

bool KVRConferenceTime::isLectureTime(std::chrono::system_clock::time_point moment) const {
    if (!config_) return false;
    auto rot = config_->stringValue("ROT");
    auto rct = config_->stringValue("RCT");
    if (!rot || !rct) return false;
    auto open = KVRGlobalData::stringDateToNSDate(*rot);
    auto close = KVRGlobalData::stringDateToNSDate(*rct);
    if (!open || !close) return false;
    auto gap = std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::duration<double>(config_->timeGapBetweenServerAndLocal()));
    return *open + gap <= moment && moment <= *close + gap;
}
