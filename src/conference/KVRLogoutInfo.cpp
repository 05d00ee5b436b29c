#include "conference/KVRLogoutInfo.h"

#include "app/KVRStrings.h"

KVRLogoutInfo::KVRLogoutInfo(std::shared_ptr<KVRRunLoop> runLoop, std::function<void()> onExpired,
                             std::chrono::milliseconds interval)
    : runLoop_(std::move(runLoop)), onExpired_(std::move(onExpired)), interval_(interval) {}

KVRLogoutInfo::~KVRLogoutInfo() {
    if (timerChecker_ && runLoop_) runLoop_->cancelTimer(*timerChecker_);
}

std::string KVRLogoutInfo::formatText(int64_t remainTime) {
    const int64_t minutes = (remainTime % 3600) / 60;
    const int64_t seconds = remainTime % 60;
    // The table's text is filled by hand, not handed to printf: a stray conversion in a translation
    // must not read past the two numbers.
    std::string format = KVRStrings::text("IDS_LECTURE_TIME_CLOSE");
    std::string out;
    int used = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && used < 2) {
            size_t j = i + 1;
            bool pad = false;
            if (format.compare(j, 2, "02") == 0) {
                pad = true;
                j += 2;
            }
            if (j < format.size() && (format[j] == 'd' || format[j] == 'u' || format[j] == 'i')) {
                int64_t v = used == 0 ? minutes : seconds;
                std::string n = std::to_string(v);
                if (pad && n.size() < 2) n = "0" + n;
                out += n;
                ++used;
                i = j;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string KVRLogoutInfo::text() const { return formatText(remainTime_); }

void KVRLogoutInfo::start(const std::string& title) {
    if (timerChecker_) runLoop_->cancelTimer(*timerChecker_);
    timerChecker_.reset();
    remainTime_ = kStartSeconds;
    _isStarted = true;
    if (window_) {
        window_->showLogoutWindow(title);
        window_->setLogoutText(text());
    }
    timerChecker_ = runLoop_->startTimer(interval_, true, [this] { logoutTimer(); });
}

void KVRLogoutInfo::stop() {
    if (timerChecker_) runLoop_->cancelTimer(*timerChecker_);
    timerChecker_.reset();
    const bool wasStarted = _isStarted;
    _isStarted = false;
    if (wasStarted && window_) window_->closeLogoutWindow();
}

void KVRLogoutInfo::buttonOK() {
    stop();
    if (onExpired_) onExpired_();
}

void KVRLogoutInfo::logoutTimer() {
    if (!_isStarted) return;
    if (remainTime_ > 0) --remainTime_;
    if (window_) window_->setLogoutText(text());
    if (remainTime_ <= 0) {
        stop();
        if (onExpired_) onExpired_();
    }
}
