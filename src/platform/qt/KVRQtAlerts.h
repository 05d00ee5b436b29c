#pragma once
// Alerts and the open panel as Qt dialogs; without an interactive display (offscreen or minimal
// platform) they behave like the headless alerts so nothing ever waits for a click that cannot come.
#include "platform/KVRAlerts.h"

class KVRQtAlerts : public KVRAlerts {
public:
    static bool hasInteractiveDisplay();
    int showAlert(const std::string& message, const std::vector<std::string>& buttons, int style) override;
    std::optional<std::string> openFile(const std::vector<std::string>& extensions) override;

private:
    KVRHeadlessAlerts headless_;
};
