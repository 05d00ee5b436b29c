#pragma once
// The development server's command line: ports (0 = any free port), the data folder, fault switches.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct KVRDevServerOptions {
    uint16_t mainPort = 0, relayPort = 0, filePort = 0, httpPort = 0;
    std::string dataFolder;  // empty: a fresh temporary folder
    int64_t defaultMaxUsers = 50;
    // Fault switches, as the matching KVRDevFaults calls.
    int64_t replyDelayMs = 0;
    std::set<uint16_t> dropReplies, failReplies, closeOn;
    bool splitWrites = false, mergePackets = false;
    // Relay fault switches: a percentage of media dropped, pairs swapped, every datagram twice.
    int64_t relayDropPercent = 0;
    bool relayReorder = false, relayDuplicate = false;

    // Parses the arguments after the program name; nothing and `error` set on a bad command line.
    static std::optional<KVRDevServerOptions> parse(const std::vector<std::string>& args, std::string& error);
    static std::string usage();
};
