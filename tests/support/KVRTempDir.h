#pragma once
// A fresh temporary folder for one test, removed with it.
#include <filesystem>
#include <random>
#include <string>

class KVRTempDir {
public:
    KVRTempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("kvr-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~KVRTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    KVRTempDir(const KVRTempDir&) = delete;
    KVRTempDir& operator=(const KVRTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};
