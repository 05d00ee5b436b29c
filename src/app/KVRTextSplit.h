#pragma once
// Splitting texts at a separator, keeping empty pieces (the platform's componentsSeparatedByString).
#include <string>
#include <string_view>
#include <vector>

namespace kvr {
inline std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> out;
    if (separator.empty()) {
        out.emplace_back(text);
        return out;
    }
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            return out;
        }
        out.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

inline std::string trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(ws);
    return std::string(s.substr(b, e - b + 1));
}

// Leading optional sign and digits as a signed 64-bit integer; 0 when there are none. Saturates on overflow.
inline long long leadingInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    unsigned long long v = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v > (~0ULL - 9) / 10) overflow = true;
        if (!overflow) v = v * 10 + static_cast<unsigned>(s[i] - '0');
    }
    const unsigned long long maxPos = 9223372036854775807ULL;
    if (overflow || v > maxPos + (neg ? 1 : 0)) return neg ? (-9223372036854775807LL - 1) : 9223372036854775807LL;
    return neg ? static_cast<long long>(0ULL - v) : static_cast<long long>(v);
}
}  // namespace kvr
