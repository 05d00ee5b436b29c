#pragma once
// A child program for the room tests: started with its output in a file, read while it runs, asked to
// stop by SIGTERM, killed if it is still there when the test ends.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kvrtest {
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, std::string outPath) : out_(std::move(outPath)) {
        pid_ = ::fork();
        if (pid_ == 0) {
            int fd = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void terminate() {
        if (pid_ > 0 && !status_) ::kill(pid_, SIGTERM);
    }
    // The exit code (128 + signal when killed), or nothing when it did not end in time.
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int st = 0;
            if (::waitpid(pid_, &st, WNOHANG) == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return status_;
    }
    std::string output() const {
        std::ifstream in(out_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(output());
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
    // The last line that starts with `prefix`, or nothing.
    std::optional<std::string> lastLineStarting(const std::string& prefix) const {
        std::optional<std::string> found;
        for (auto& l : lines())
            if (l.rfind(prefix, 0) == 0) found = l;
        return found;
    }

private:
    std::string out_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Polls `done` every 20 ms until it holds or `limit` passes.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
}  // namespace kvrtest
