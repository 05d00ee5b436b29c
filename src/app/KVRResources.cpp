#include "app/KVRResources.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace kvr {
namespace {
std::mutex mutex;
std::string overrideDir;

std::string exeShareDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    auto share = exe.parent_path().parent_path() / "share" / "kelvara";
    return std::filesystem::is_directory(share, ec) ? share.string() : std::string();
}
}  // namespace

std::string resourceDir() {
    std::lock_guard lock(mutex);
    if (!overrideDir.empty()) return overrideDir;
    if (const char* env = std::getenv("KELVARA_RESOURCE_DIR"); env && *env) return env;
    static const std::string installed = exeShareDir();
    if (!installed.empty()) return installed;
    return KVR_RESOURCE_DIR;
}

std::string resourcePath(const std::string& name) { return resourceDir() + "/" + name; }

void setResourceDir(const std::string& dir) {
    std::lock_guard lock(mutex);
    overrideDir = dir;
}
}  // namespace kvr
