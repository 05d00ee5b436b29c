#pragma once
// UTF-8 <-> UTF-16 conversion for the board records and file server messages. Malformed input never
// throws or over-reads: invalid UTF-8 bytes become U+FFFD, unpaired surrogates likewise.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvr {
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
}  // namespace kvr
