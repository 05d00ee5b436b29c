#pragma once
// Builds a request's payload text from fields and separator characters. The result never exceeds the
// 38399 bytes a control packet can carry; longer texts are cut.
#include <cstdint>
#include <string>
#include <string_view>

#include "control/KVRControlPacket.h"

class KVRControlPayload {
public:
    static constexpr char kField = 0x01;   // between the fields of a record
    static constexpr char kRecord = 0x02;  // after a record, between the records of a list
    static constexpr char kData = 0x04;    // around the data of a client command

    // A value field: the separators and zero bytes are removed, since any of them would split the record
    // on the server and shift every field after it.
    KVRControlPayload& field(std::string_view text);
    // A text that carries its own separators (conference state, portal records, command data): kept
    // as it is, up to its first zero byte, as a C text would be.
    KVRControlPayload& raw(std::string_view text);
    KVRControlPayload& number(int64_t value);
    KVRControlPayload& sep(char separator);

    // The payload, cut to 38399 bytes.
    std::string text() const;

    // True when `text` holds a character that field() would remove.
    static bool hasSeparator(std::string_view text);

private:
    std::string text_;
};
