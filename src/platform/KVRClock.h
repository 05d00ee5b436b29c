#pragma once
// Wall clock, injectable so that tests can stand at any date and time.
#include <chrono>
#include <functional>

using KVRWallClock = std::function<std::chrono::system_clock::time_point()>;

inline KVRWallClock kvrSystemClock() {
    return [] { return std::chrono::system_clock::now(); };
}
