#include "KVRBotOptions.h"

#include <cmath>
#include <cstdlib>

namespace {

std::optional<double> seconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || v < 0 || v > 7 * 24 * 3600.0) return std::nullopt;
    return v;
}

}  // namespace

const std::vector<KVRBotOptions::Entry>& KVRBotOptions::table() {
    static const std::vector<Entry> entries = {
        {"--url", "LAUNCH_URL", "the launch URL to join with (required)",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--url needs a launch URL";
                 return false;
             }
             o.url = v;
             return true;
         }},
        {"--duration", "S", "seconds to stay in the room, then leave in order (default: until ended)",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             auto s = seconds(v);
             if (!s) {
                 error = "--duration needs a number of seconds, got \"" + v + "\"";
                 return false;
             }
             o.duration = std::chrono::milliseconds(static_cast<long long>(std::llround(*s * 1000)));
             return true;
         }},
        {"--log", "FILE", "append the report lines to FILE; the diagnostic log goes beside it",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--log needs a file name";
                 return false;
             }
             o.logFile = v;
             return true;
         }},
        {"--video", nullptr, "send a moving test pattern as the camera (160x120)",
         [](KVRBotOptions& o, const std::string&, std::string&) {
             o.video = true;
             return true;
         }},
        {"--video-fps", "N", "frames per second of --video, 1 to 30 (default 5)",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             char* end = nullptr;
             const long n = std::strtol(v.c_str(), &end, 10);
             if (v.empty() || end != v.c_str() + v.size() || n < 1 || n > 30) {
                 error = "--video-fps needs a number from 1 to 30, got \"" + v + "\"";
                 return false;
             }
             o.videoFps = static_cast<int>(n);
             return true;
         }},
        {"--save-frames", "DIR", "decode remote video and write pictures as DIR/<user>_<frame>.png",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--save-frames needs a folder";
                 return false;
             }
             o.saveFrames = v;
             return true;
         }},
        {"--save-every", "N", "with --save-frames, save every Nth decoded picture of each user (default 10)",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             char* end = nullptr;
             const long n = std::strtol(v.c_str(), &end, 10);
             if (v.empty() || end != v.c_str() + v.size() || n < 1 || n > 100000) {
                 error = "--save-every needs a number from 1 to 100000, got \"" + v + "\"";
                 return false;
             }
             o.saveEvery = static_cast<int>(n);
             return true;
         }},
        {"--command", "AT:CMD[:DATA][@USER]",
         "send client command CMD (with DATA) to USER, or to the whole sub-room, AT seconds in",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             auto a = KVRBotAction::parseCommand(v, error);
             if (a) o.actions.push_back(*a);
             return a.has_value();
         }},
        {"--publish", "AT:KEY=VALUE",
         "change the conference state and publish it AT seconds in (audio=USER grants the floor, audio=-USER "
         "takes it back; doc likewise; confmode, ownerid, adminid, chatonoff, ...)",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             auto a = KVRBotAction::parsePublish(v, error);
             if (a) o.actions.push_back(*a);
             return a.has_value();
         }},
        {"--toggle", "AT:mic|drawing:USER", "toggle USER's right to speak or to draw AT seconds in",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             auto a = KVRBotAction::parseToggle(v, error);
             if (a) o.actions.push_back(*a);
             return a.has_value();
         }},
        {"--wait-users", "N", "start the action clock once N users (the bot included) are in the room",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             char* end = nullptr;
             const long n = std::strtol(v.c_str(), &end, 10);
             if (v.empty() || end != v.c_str() + v.size() || n < 1 || n > 1000) {
                 error = "--wait-users needs a number of users from 1 to 1000, got \"" + v + "\"";
                 return false;
             }
             o.waitUsers = static_cast<int>(n);
             return true;
         }},
        {"--tone", "HZ", "speak a sine tone of HZ hertz (20 to 3900) as the microphone",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             char* end = nullptr;
             const double hz = std::strtod(v.c_str(), &end);
             // Below 4000 Hz: the 8 kHz voice path cannot carry more.
             if (v.empty() || end != v.c_str() + v.size() || !std::isfinite(hz) || hz < 20 || hz > 3900) {
                 error = "--tone needs a frequency from 20 to 3900 Hz, got \"" + v + "\"";
                 return false;
             }
             o.toneHz = hz;
             return true;
         }},
        {"--record-audio", "FILE.wav", "write every remote voice the bot plays, mixed, to a WAV file",
         [](KVRBotOptions& o, const std::string& v, std::string& error) {
             if (v.empty()) {
                 error = "--record-audio needs a file name";
                 return false;
             }
             o.recordAudio = v;
             return true;
         }},
    };
    return entries;
}

std::optional<KVRBotOptions> KVRBotOptions::parse(const std::vector<std::string>& args, std::string& error) {
    KVRBotOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inlineValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const Entry* entry = nullptr;
        for (const auto& e : table())
            if (name == e.name) entry = &e;
        if (!entry) {
            error = "unknown option \"" + name + "\"";
            return std::nullopt;
        }
        if (entry->valueName && !inlineValue) {
            if (i + 1 >= args.size()) {
                error = std::string(entry->name) + " needs " + entry->valueName;
                return std::nullopt;
            }
            value = args[++i];
        } else if (!entry->valueName && inlineValue) {
            error = std::string(entry->name) + " takes no value";
            return std::nullopt;
        }
        if (!entry->apply(o, value, error)) return std::nullopt;
    }
    if (o.url.empty()) {
        error = "--url is required";
        return std::nullopt;
    }
    return o;
}

std::string KVRBotOptions::usage() {
    std::string out = "usage: kelvara-bot --url 'LAUNCH_URL' [options]\n";
    for (const auto& e : table()) {
        std::string left = std::string("  ") + e.name + (e.valueName ? std::string(" ") + e.valueName : "");
        if (left.size() < 22) left.resize(22, ' ');
        out += left + " " + e.help + "\n";
    }
    return out;
}
