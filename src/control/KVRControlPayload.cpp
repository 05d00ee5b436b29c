#include "control/KVRControlPayload.h"

#include "app/KVRLog.h"

namespace {
bool isSeparator(char c) {
    return c == 0 || c == KVRControlPayload::kField || c == KVRControlPayload::kRecord || c == KVRControlPayload::kData;
}
}  // namespace

bool KVRControlPayload::hasSeparator(std::string_view text) {
    for (char c : text)
        if (isSeparator(c)) return true;
    return false;
}

KVRControlPayload& KVRControlPayload::field(std::string_view text) {
    if (!hasSeparator(text)) {
        text_.append(text);
        return *this;
    }
    KVRLog("control: separator characters removed from a request field of %zu bytes", text.size());
    for (char c : text)
        if (!isSeparator(c)) text_.push_back(c);
    return *this;
}

KVRControlPayload& KVRControlPayload::raw(std::string_view text) {
    text_.append(text.substr(0, text.find('\0')));
    return *this;
}

KVRControlPayload& KVRControlPayload::number(int64_t value) {
    text_.append(std::to_string(value));
    return *this;
}

KVRControlPayload& KVRControlPayload::sep(char separator) {
    text_.push_back(separator);
    return *this;
}

std::string KVRControlPayload::text() const {
    if (text_.size() <= KVRControlPacket::kMaxPayload) return text_;
    return text_.substr(0, KVRControlPacket::kMaxPayload);
}
