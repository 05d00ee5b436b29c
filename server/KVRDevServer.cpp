#include "app/KVRJson.h"
#include "KVRDevServer.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <system_error>

#include "KVRDevHttpServer.h"
#include "KVRDevLog.h"
#include "KVRDevMainServer.h"
#include "KVRDevRelay.h"

namespace fs = std::filesystem;

KVRDevServer::KVRDevServer(KVRDevServerOptions options) : options_(std::move(options)) {
    faults_.setReplyDelay(std::chrono::milliseconds(options_.replyDelayMs));
    for (auto c : options_.dropReplies) faults_.dropReplies(c);
    for (auto c : options_.failReplies) faults_.failReplies(c);
    for (auto c : options_.closeOn) faults_.closeOnCommand(c);
    faults_.setSplitWrites(options_.splitWrites);
    faults_.setMergePackets(options_.mergePackets);
}

KVRDevServer::~KVRDevServer() { stop(); }

bool KVRDevServer::start(std::string* error) {
    if (running()) return true;
    auto failWith = [&](const std::string& why) {
        KVRDevLog("cannot start: %s", why.c_str());
        if (error) *error = why;
        main_.reset();
        http_.reset();
        relay_.reset();
        fileAcceptor_.reset();
        return false;
    };
    std::error_code fec;
    if (options_.dataFolder.empty()) {
        std::string tmpl = (fs::temp_directory_path(fec) / "kelvara-server-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return failWith("cannot make a temporary data folder");
        data_ = tmpl;
    } else {
        data_ = options_.dataFolder;
        fs::create_directories(data_, fec);
        if (!fs::is_directory(data_, fec)) return failWith("data folder " + data_.string() + " cannot be made");
    }
    data_ = fs::absolute(data_, fec);
    preparePortalPages();

    try {
        KVRDevMainServer::Settings settings;
        settings.dataFolder = data_;
        settings.defaultMaxUsers = options_.defaultMaxUsers;
        main_ = std::make_unique<KVRDevMainServer>(io_, faults_, settings);
        ports_.main = main_->listen(options_.mainPort);
        startRelay();
        startFilePort();
        http_ = std::make_unique<KVRDevHttpServer>(io_, data_);
        ports_.http = http_->listen(options_.httpPort);
        main_->setHttpPort(ports_.http);
        main_->setFilePort(ports_.file);
    } catch (const std::system_error& e) {
        return failWith(std::string("cannot bind: ") + e.what());
    }
    io_.restart();
    thread_ = std::thread([this] {
        auto guard = asio::make_work_guard(io_);
        io_.run();
    });
    KVRDevLog("serving: main %u, relay %u, file %u, http %u, data %s", ports_.main, ports_.relay, ports_.file,
              ports_.http, data_.c_str());
    return true;
}

void KVRDevServer::startRelay() {
    KVRDevRelay::Options o;
    o.port = options_.relayPort;
    o.dropPercent = static_cast<int>(std::min<int64_t>(options_.relayDropPercent, 100));
    o.reorder = options_.relayReorder;
    o.duplicate = options_.relayDuplicate;
    o.log = [](const std::string& line) { KVRDevLog("%s", line.c_str()); };
    relay_ = std::make_unique<KVRDevRelay>(o);
    if (!relay_->start()) throw std::system_error(std::make_error_code(std::errc::address_in_use), "relay port");
    ports_.relay = relay_->port();
}

void KVRDevServer::startFilePort() {
    fileAcceptor_ = std::make_unique<asio::ip::tcp::acceptor>(io_);
    asio::ip::tcp::endpoint ep(asio::ip::make_address("127.0.0.1"), options_.filePort);
    fileAcceptor_->open(ep.protocol());
    fileAcceptor_->set_option(asio::ip::tcp::acceptor::reuse_address(true));
    fileAcceptor_->bind(ep);
    fileAcceptor_->listen();
    ports_.file = fileAcceptor_->local_endpoint().port();
    acceptFile();
}

void KVRDevServer::acceptFile() {
    fileAcceptor_->async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket s) {
        if (ec == asio::error::operation_aborted || !fileAcceptor_->is_open()) return;
        if (!ec) {
            asio::error_code ignored;
            auto peer = s.remote_endpoint(ignored);
            KVRDevLog("file server is not built yet; closing the connection from %s:%u",
                      peer.address().to_string().c_str(), peer.port());
            s.close(ignored);
        }
        acceptFile();
    });
}

// The portal pages that 1101-1103 point at, so a client opening them gets a page, not a 404.
void KVRDevServer::preparePortalPages() {
    std::error_code ec;
    fs::create_directories(data_ / "portal", ec);
    const std::pair<const char*, const char*> pages[] = {
        {"view.html", "Learning status"},
        {"enquete_lecture.html", "Poll results (lecturer)"},
        {"enquete_student.html", "Poll results (student)"},
    };
    for (const auto& [name, title] : pages) {
        fs::path p = data_ / "portal" / name;
        if (fs::exists(p, ec)) continue;
        std::ofstream(p) << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" << title
                         << "</title></head><body><h1>" << title << "</h1><p>Development server page.</p></body></html>\n";
    }
}

template <typename F>
void KVRDevServer::runOnIo(F&& f) {
    if (!running()) {
        f();
        return;
    }
    std::promise<void> done;
    asio::post(io_, [&] {
        f();
        done.set_value();
    });
    done.get_future().wait();
}

void KVRDevServer::closeConnectionsOf(const std::string& userID) {
    if (!main_) return;
    runOnIo([&] { main_->closeConnectionsOf(userID); });
}

void KVRDevServer::stop() {
    if (!running()) return;
    runOnIo([&] {
        asio::error_code ec;
        main_->close();
        http_->close();
        if (fileAcceptor_) fileAcceptor_->close(ec);
        io_.stop();
    });
    thread_.join();
    main_.reset();
    http_.reset();
    relay_.reset();
    fileAcceptor_.reset();
    KVRDevLog("stopped");
}

std::string KVRDevServer::statusJson() const {
    return "{\"main\":" + std::to_string(ports_.main) + ",\"relay\":" + std::to_string(ports_.relay) +
           ",\"file\":" + std::to_string(ports_.file) + ",\"http\":" + std::to_string(ports_.http) +
           ",\"data\":" + kvr::jsonString(data_.string()) + ",\"unbuilt\":[\"file\"]}";
}
