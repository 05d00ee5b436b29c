#include "app/KVRAppDelegate.h"

#include <cctype>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRUtf16.h"

namespace {
bool isValidUrlText(const std::string& s) {
    // A scheme, then no blanks or control characters anywhere: what a URL parser would accept.
    size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    for (unsigned char c : s) {
        if (c <= 0x20 || c == 0x7f) return false;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isValidUtf8(const std::string& s) {
    // Round trip through UTF-16: replacement characters appear only where the bytes were not UTF-8.
    return kvr::utf16ToUtf8(kvr::utf8ToUtf16(s)) == s;
}
}  // namespace

void KVRAppDelegate::initWork() {
    if (!KVRGlobalData::sharedGlobalData()->kvrcConfig()) {
        KVRGlobalData::sharedGlobalData()->setKvrcConfig(std::make_shared<KVRConfig>());
    }
}

std::optional<std::string> KVRAppDelegate::decodeLaunchUrl(const std::string& url) {
    if (!isValidUrlText(url)) return std::nullopt;
    std::string out;
    out.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && hexValue(url[i + 1]) >= 0 && hexValue(url[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(url[i + 1]) * 16 + hexValue(url[i + 2])));
            i += 2;
        } else {
            out.push_back(url[i]);
        }
    }
    // Decoded bytes must be UTF-8 text, and a decoded zero byte would cut every later reader short.
    if (!isValidUtf8(out) || out.find('\0') != std::string::npos) return std::nullopt;
    return out;
}

void KVRAppDelegate::handleGETUrlEvent(const std::string& url) { setWebParam(decodeLaunchUrl(url)); }

void KVRAppDelegate::setWebParam(const std::optional<std::string>& text) {
    KVRLog("p => %s", text ? text->c_str() : "(null)");
    auto config = KVRGlobalData::sharedGlobalData()->kvrcConfig();
    if (!config) return;
    if (!text) {
        KVRLog("Invalid Web Parameter : (null)");
        return;
    }
    config->setWebData(*text);
}
