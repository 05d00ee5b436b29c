#pragma once
// Separators and field helpers shared by the conference state, user and sub-room record texts. The texts
// come from the network, so every helper works on views with explicit lengths and never assumes a
// terminator.
#include <string>
#include <string_view>
#include <vector>

namespace kvr::conf {
inline constexpr char kFieldSeparator = '\x01';   // between the fields of a record
inline constexpr char kRecordSeparator = '\x02';  // after a record, between the records of a list
inline constexpr char kCommandSeparator = '\x04';
inline constexpr char kInnerSeparator = '|';      // inside the blocks and ID sets of the conference state

// The text up to its first zero byte: the wire convention for payload texts.
std::string_view untilZero(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool isValidUtf8(std::string_view text);

// One record as fields: the text before the first record separator, split at the field separator.
std::vector<std::string> recordFields(std::string_view text);

// The field text with every character that would break the record removed (zero, 0x01, 0x02, and the
// bar too when `inBlock`); the parsers accept everything else, so what they read is written unchanged.
// Returns true in `changed` when something was removed.
std::string cleanField(std::string_view value, bool inBlock, bool* changed = nullptr);

// A short, printable excerpt of hostile input for a diagnostic line.
std::string excerpt(std::string_view text, size_t maxLength = 64);
}  // namespace kvr::conf
