#pragma once
// Text as a JSON string literal, for the one-line reports of the server and the bot.
#include <cstdio>
#include <string>
#include <string_view>

namespace kvr {
inline std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
}  // namespace kvr
