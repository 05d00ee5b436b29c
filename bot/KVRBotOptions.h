#pragma once
// kelvara-bot's command line. Each option is one entry of a table (name, value or not, help, what it
// sets), so a new option is one more entry.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KVRBotActions.h"

struct KVRBotOptions {
    std::string url;
    // How long to stay once in the room; nothing: until the server ends the lecture or a signal comes.
    std::optional<std::chrono::milliseconds> duration;
    std::string logFile;
    // Video: send the test pattern as the camera; save every saveEvery-th decoded remote picture.
    bool video = false;
    int videoFps = 5;
    std::string saveFrames;
    int saveEvery = 10;
    // Voice: a tone of this pitch as the microphone; every remote voice played, mixed, into this WAV file.
    std::optional<double> toneHz;
    std::string recordAudio;
    // Client commands, state changes and right toggles, each at its time after the action clock starts.
    std::vector<KVRBotAction> actions;
    // The action clock starts once this many users (the bot included) are in the room; nothing: on entry.
    std::optional<int> waitUsers;

    struct Entry {
        const char* name;
        const char* valueName;  // null: a flag without a value
        const char* help;
        // Stores the value; false (with `error` set) when it is not acceptable.
        std::function<bool(KVRBotOptions&, const std::string& value, std::string& error)> apply;
    };
    static const std::vector<Entry>& table();

    // The arguments after the program name; nothing and `error` set on a bad command line.
    static std::optional<KVRBotOptions> parse(const std::vector<std::string>& args, std::string& error);
    static std::string usage();
};
