#include "conference/KVRConferenceText.h"

#include <cstdio>

#include "app/KVRTextSplit.h"

namespace kvr::conf {
std::string_view untilZero(std::string_view text) {
    auto at = text.find('\0');
    return at == std::string_view::npos ? text : text.substr(0, at);
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (len > n - i) return false;
        for (size_t k = 1; k < len; ++k) {
            auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::vector<std::string> recordFields(std::string_view text) {
    auto end = text.find(kRecordSeparator);
    if (end != std::string_view::npos) text = text.substr(0, end);
    return kvr::split(text, std::string_view(&kFieldSeparator, 1));
}

std::string cleanField(std::string_view value, bool inBlock, bool* changed) {
    std::string out;
    out.reserve(value.size());
    bool removed = false;
    for (char c : value) {
        if (c == '\0' || c == kFieldSeparator || c == kRecordSeparator || (inBlock && c == kInnerSeparator)) {
            removed = true;
            continue;
        }
        out.push_back(c);
    }
    if (changed) *changed = removed;
    return out;
}

std::string excerpt(std::string_view text, size_t maxLength) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < maxLength; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > maxLength) out += "...";
    return out;
}
}  // namespace kvr::conf
