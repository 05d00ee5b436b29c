#include "KVRDevServerOptions.h"

#include <functional>
#include <map>

#include "KVRDevRecords.h"
#include "app/KVRTextSplit.h"

namespace {
std::optional<uint16_t> port(const std::string& v) {
    auto n = KVRDevRecords::parseInteger(v);
    if (!n || *n < 0 || *n > 65535) return std::nullopt;
    return static_cast<uint16_t>(*n);
}

// "97,177" -> {97, 177}
bool commandList(const std::string& v, std::set<uint16_t>& out) {
    for (const auto& piece : kvr::split(v, ",")) {
        auto n = port(kvr::trim(piece));
        if (!n) return false;
        out.insert(*n);
    }
    return true;
}
}  // namespace

std::string KVRDevServerOptions::usage() {
    return "usage: kelvara-server [--main-port N] [--relay-port N] [--file-port N] [--http-port N] [--data DIR]\n"
           "                      [--max-users N] [--delay-replies MS] [--drop-replies CMD,...]\n"
           "                      [--fail-replies CMD,...] [--close-on CMD,...] [--split-writes] [--merge-packets]\n"
           "                      [--relay-drop PERCENT] [--relay-reorder] [--relay-duplicate]\n"
           "Ports of 0 (the default) are chosen free. Prints one JSON line with the bound ports, then serves\n"
           "on 127.0.0.1 until SIGINT or SIGTERM.\n";
}

std::optional<KVRDevServerOptions> KVRDevServerOptions::parse(const std::vector<std::string>& args, std::string& error) {
    KVRDevServerOptions o;
    using Setter = std::function<bool(const std::string&)>;
    auto portInto = [](uint16_t& dst) {
        return Setter([&dst](const std::string& v) {
            auto p = port(v);
            if (p) dst = *p;
            return p.has_value();
        });
    };
    auto intInto = [](int64_t& dst, int64_t min) {
        return Setter([&dst, min](const std::string& v) {
            auto n = KVRDevRecords::parseInteger(v);
            if (n && *n >= min) dst = *n;
            return n && *n >= min;
        });
    };
    auto listInto = [](std::set<uint16_t>& dst) {
        return Setter([&dst](const std::string& v) { return commandList(v, dst); });
    };
    const std::map<std::string, Setter> valued = {
        {"--main-port", portInto(o.mainPort)},
        {"--relay-port", portInto(o.relayPort)},
        {"--file-port", portInto(o.filePort)},
        {"--http-port", portInto(o.httpPort)},
        {"--data", [&o](const std::string& v) { o.dataFolder = v; return !v.empty(); }},
        {"--max-users", intInto(o.defaultMaxUsers, 0)},
        {"--delay-replies", intInto(o.replyDelayMs, 0)},
        {"--drop-replies", listInto(o.dropReplies)},
        {"--fail-replies", listInto(o.failReplies)},
        {"--close-on", listInto(o.closeOn)},
        {"--relay-drop", intInto(o.relayDropPercent, 0)},
    };
    const std::map<std::string, bool*> flags = {
        {"--split-writes", &o.splitWrites},
        {"--merge-packets", &o.mergePackets},
        {"--relay-reorder", &o.relayReorder},
        {"--relay-duplicate", &o.relayDuplicate},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (auto f = flags.find(a); f != flags.end()) {
            *f->second = true;
            continue;
        }
        auto v = valued.find(a);
        if (v == valued.end()) {
            error = "unknown option " + a;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return std::nullopt;
        }
        if (!v->second(args[++i])) {
            error = "bad value for " + a + ": " + args[i];
            return std::nullopt;
        }
    }
    return o;
}
