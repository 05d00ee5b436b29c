#pragma once
// Receives launch requests (the first command-line argument, or a URL handed over by a second start)
// and stores them in the configuration.
#include <memory>
#include <optional>
#include <string>

class KVRConfig;

class KVRAppDelegate {
public:
    // Creates the configuration store and registers it as kvrcConfig.
    void initWork();
    // A URL-open request: validated as a URL, percent-decoded as UTF-8, then stored.
    void handleGETUrlEvent(const std::string& url);
    void kelvaraRun(const std::string& url) { handleGETUrlEvent(url); }
    // Logs the decoded URL ("(null)" for nothing) and stores it in the configuration.
    void setWebParam(const std::optional<std::string>& text);

    // The absolute, percent-decoded text of a URL; nothing when it is no URL or decodes to invalid UTF-8.
    static std::optional<std::string> decodeLaunchUrl(const std::string& url);
};
