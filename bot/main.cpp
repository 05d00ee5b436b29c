// kelvara-bot: a headless participant of a lecture, for development, tests and demos.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "KVRBot.h"
#include "app/KVRGlobalData.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::fputs(KVRBotOptions::usage().c_str(), stdout);
            return 0;
        }
    std::string error;
    auto options = KVRBotOptions::parse(args, error);
    if (!options) {
        std::fprintf(stderr, "kelvara-bot: %s\n%s", error.c_str(), KVRBotOptions::usage().c_str());
        return 64;
    }
    std::signal(SIGINT, [](int) { KVRBot::requestLeave(); });
    std::signal(SIGTERM, [](int) { KVRBot::requestLeave(); });
    std::signal(SIGPIPE, SIG_IGN);
    int code = 0;
    {
        KVRBot bot(*options);
        code = bot.run();
    }
    // Stop every transport thread before the statics they use go away.
    KVRGlobalData::sharedGlobalData()->releaseAll();
    return code;
}
