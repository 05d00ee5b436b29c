#include "conference/KVRMainView.h"

#include <atomic>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRMainViewDelegate.h"
#include "platform/KVRAlerts.h"

namespace {
std::atomic<int> invalidParameterTicks{0};
}

KVRMainView::KVRMainView(KVRRunLoop& runLoop) : runLoop_(runLoop) {}

KVRMainView::~KVRMainView() {
    if (_timerParameterChecker) runLoop_.cancelTimer(*_timerParameterChecker);
}

void KVRMainView::resetParameterCheckCounter() { invalidParameterTicks = 0; }

void KVRMainView::viewDidLoad() {
    if (_timerParameterChecker) return;
    _timerParameterChecker = runLoop_.startTimer(kParameterWatchInterval, true, [this] { parameterChecker(); });
}

void KVRMainView::parameterChecker() {
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    if (config && config->isValidParameter()) {
        if (_timerParameterChecker) runLoop_.cancelTimer(*_timerParameterChecker);
        _timerParameterChecker.reset();
        initWork();
        return;
    }
    if (invalidParameterTicks++ < kInvalidTicksBeforeAlert) return;
    if (_timerParameterChecker) runLoop_.cancelTimer(*_timerParameterChecker);
    _timerParameterChecker.reset();
    KVRGlobalData::messageBox(nullptr, "QRV_INVALID_ARGUMENT", std::string("IDS_OK"), std::nullopt, std::nullopt,
                              KVRAlerts::Warning);
    runLoop_.quit(1);
}

void KVRMainView::initWork() {
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    std::string title = "(null)";
    if (config) {
        if (auto rnm = config->stringValue("RNM")) title = *rnm;
    }
    if (delegate_) delegate_->setWindowTitle(title);
    KVRLog("initWork : the lecture \"%s\" would start here", title.c_str());
}
