#pragma once
// kelvara-server as one object: the main server (TCP), the relay (UDP), the file server port, the HTTP
// port and the data folder, all served by one io thread. Usable in-process by tests: start() binds
// everything on 127.0.0.1 (port 0 = any free port), ports() tells what was bound, stop() ends it.
#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "KVRDevFaults.h"
#include "KVRDevServerOptions.h"

class KVRDevMainServer;
class KVRDevHttpServer;
class KVRDevRelay;

class KVRDevServer {
public:
    struct Ports {
        uint16_t main = 0, relay = 0, file = 0, http = 0;
    };

    explicit KVRDevServer(KVRDevServerOptions options = {});
    ~KVRDevServer();
    KVRDevServer(const KVRDevServer&) = delete;
    KVRDevServer& operator=(const KVRDevServer&) = delete;

    // Binds every port and starts the io thread. False (and `error`) when a port or the data folder
    // cannot be had; nothing is left running then.
    bool start(std::string* error = nullptr);
    void stop();
    bool running() const { return thread_.joinable(); }

    Ports ports() const { return ports_; }
    const std::filesystem::path& dataFolder() const { return data_; }
    // {"main":N,"relay":N,"file":N,"http":N,"data":"DIR","unbuilt":[...]}: what the command line prints.
    std::string statusJson() const;

    // Fault switches; safe from any thread, effective for the next packet.
    KVRDevFaults& faults() { return faults_; }
    void setReplyDelay(std::chrono::milliseconds d) { faults_.setReplyDelay(d); }
    void dropReplies(uint16_t command, bool on = true) { faults_.dropReplies(command, on); }
    void failReplies(uint16_t command, bool on = true) { faults_.failReplies(command, on); }
    void closeOnCommand(uint16_t command, bool on = true) { faults_.closeOnCommand(command, on); }
    void setSplitWrites(bool on) { faults_.setSplitWrites(on); }
    void setMergePackets(bool on) { faults_.setMergePackets(on); }
    // Drops the control connections of this user now, as a lost connection; returns once done.
    void closeConnectionsOf(const std::string& userID);

    // The io context every part runs on (for parts that plug in, such as the relay).
    asio::io_context& ioContext() { return io_; }
    // The relay, for its fault switches; null until started.
    KVRDevRelay* relay() { return relay_.get(); }

private:
    void startRelay();
    void startFilePort();
    void acceptFile();
    void preparePortalPages();
    template <typename F>
    void runOnIo(F&& f);

    KVRDevServerOptions options_;
    KVRDevFaults faults_;
    asio::io_context io_;
    std::unique_ptr<KVRDevMainServer> main_;
    std::unique_ptr<KVRDevHttpServer> http_;
    std::unique_ptr<KVRDevRelay> relay_;  // on a thread of its own
    std::unique_ptr<asio::ip::tcp::acceptor> fileAcceptor_;
    std::filesystem::path data_;
    Ports ports_;
    std::thread thread_;
};
