#pragma once
// Reduces a launch URL's query to the normalized parameter string that the configuration stores.
#include <optional>
#include <string>

class KVRWebParameterParser {
public:
    // The normalized parameter string, or nothing when the request is not valid (no "?" or no UpdaterKey).
    static std::optional<std::string> parsing(const std::string& text);
};
