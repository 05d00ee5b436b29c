#include "app/KVRUtf16.h"

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

namespace kvr {

namespace {
void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
constexpr char32_t kReplacement = 0xFFFD;
}  // namespace

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b0 = static_cast<uint8_t>(s[i]);
        char32_t cp = kReplacement;
        size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 >> 5) == 0x6) {
            len = 2;
        } else if ((b0 >> 4) == 0xE) {
            len = 3;
        } else if ((b0 >> 3) == 0x1E) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= s.size();
            char32_t v = b0 & (0x7F >> len);
            for (size_t k = 1; ok && k < len; ++k) {
                auto b = static_cast<uint8_t>(s[i + k]);
                if ((b >> 6) != 0x2) ok = false;
                v = (v << 6) | (b & 0x3F);
            }
            static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
            } else {
                len = 1;
            }
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        appendUtf8(out, u);
    }
    return out;
}

}  // namespace kvr

std::optional<std::string> KVRByteReader::fixedUtf16(size_t units) {
    auto field = bytes(units * 2);
    if (!field) return std::nullopt;
    std::u16string u;
    for (size_t i = 0; i + 1 < field->size(); i += 2) {
        auto c = static_cast<char16_t>((*field)[i] | ((*field)[i + 1] << 8));
        if (c == 0) break;
        u.push_back(c);
    }
    return kvr::utf16ToUtf8(u);
}

KVRByteWriter& KVRByteWriter::fixedUtf16(std::string_view utf8, size_t units) {
    std::u16string u = kvr::utf8ToUtf16(utf8);
    size_t n = u.size() < units ? u.size() : units;
    if (n > 0 && n < u.size() && u[n - 1] >= 0xD800 && u[n - 1] <= 0xDBFF) --n;  // keep pairs whole
    for (size_t i = 0; i < n; ++i) u16(static_cast<uint16_t>(u[i]));
    return zeros((units - n) * 2);
}
