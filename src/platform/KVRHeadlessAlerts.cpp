#include <cstdio>

#include "app/KVRLog.h"
#include "platform/KVRAlerts.h"

int KVRHeadlessAlerts::showAlert(const std::string& message, const std::vector<std::string>& buttons, int style) {
    static const char* kStyles[] = {"warning", "information", "critical"};
    const char* styleName = (style >= 0 && style <= 2) ? kStyles[style] : "alert";
    std::string first = buttons.empty() ? std::string() : buttons.front();
    std::fprintf(stderr, "kelvara %s: %s [%s]\n", styleName, message.c_str(), first.c_str());
    KVRLog("Alert (%s) : %s [%s]", styleName, message.c_str(), first.c_str());
    return 0;
}
