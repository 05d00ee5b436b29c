#include "conference/KVRClientCommand.h"

#include "app/KVRTextSplit.h"

std::optional<KVRClientCommand> KVRClientCommand::parse(std::string_view payload) {
    // Only the text up to the first zero byte is the payload.
    if (auto z = payload.find('\0'); z != std::string_view::npos) payload = payload.substr(0, z);
    auto records = kvr::split(payload, "\x02");
    if (records.empty()) return std::nullopt;
    auto fields = kvr::split(records[0], "\x01");
    if (fields.size() < 3) return std::nullopt;
    auto parts = kvr::split(fields[2], "\x05");
    if (parts.empty() || parts[0].empty()) return std::nullopt;
    auto pieces = kvr::split(parts[0], "\x04");
    KVRClientCommand c;
    c.senderID = fields[0];
    c.command = kvr::leadingInteger(pieces[0]);
    if (pieces.size() > 1) c.data = pieces[1];
    return c;
}
