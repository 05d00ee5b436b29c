// kelvara-server: the loopback development lecture server.
#include <asio.hpp>

#include <cstdio>
#include <iostream>

#include "KVRDevServer.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::cout << KVRDevServerOptions::usage();
            return 0;
        }
    std::string error;
    auto options = KVRDevServerOptions::parse(args, error);
    if (!options) {
        std::cerr << "kelvara-server: " << error << "\n" << KVRDevServerOptions::usage();
        return 2;
    }
    // Signals are caught before anything is bound, so an early SIGTERM still stops cleanly.
    asio::io_context signals;
    asio::signal_set set(signals, SIGINT, SIGTERM);
    KVRDevServer server(*options);
    if (!server.start(&error)) {
        std::cerr << "kelvara-server: " << error << "\n";
        return 1;
    }
    std::printf("%s\n", server.statusJson().c_str());
    std::fflush(stdout);

    set.async_wait([&](const asio::error_code&, int) { server.stop(); });
    signals.run();
    return 0;
}
