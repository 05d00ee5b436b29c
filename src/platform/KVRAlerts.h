#pragma once
// What core asks of the window system: modal alerts and the open panel. Texts arrive already looked up.
#include <optional>
#include <string>
#include <vector>

class KVRAlerts {
public:
    enum Style { Warning = 0, Informational = 1, Critical = 2 };
    virtual ~KVRAlerts() = default;
    // Returns the index of the pressed button (0 for the first).
    virtual int showAlert(const std::string& message, const std::vector<std::string>& buttons, int style) = 0;
    // Path of the chosen file, or nothing when cancelled.
    virtual std::optional<std::string> openFile(const std::vector<std::string>& extensions) = 0;
};

// No display: the alert goes to stderr and the diagnostic log and answers its first button at once,
// so headless runs never hang on a dialog.
class KVRHeadlessAlerts : public KVRAlerts {
public:
    int showAlert(const std::string& message, const std::vector<std::string>& buttons, int style) override;
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
};
