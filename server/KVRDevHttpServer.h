#pragma once
// A small HTTP/1.0 responder for the files of the data folder (documents, pages, uploads), as the
// client fetches them with plain GETs. Paths are decoded and confined to the data folder.
#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

class KVRDevHttpServer {
public:
    KVRDevHttpServer(asio::io_context& io, std::filesystem::path root);
    uint16_t listen(uint16_t port);
    void close();
    // A connection that has not sent its request within this time is closed.
    void setRequestTimeout(std::chrono::milliseconds t) { requestTimeout_ = t; }

    // The file a request target names inside `root`, or nothing when it is malformed, escapes the
    // folder or is not a regular file.
    static std::optional<std::filesystem::path> resolve(const std::filesystem::path& root, std::string_view target);

private:
    void accept();
    asio::ip::tcp::acceptor acceptor_;
    std::filesystem::path root_;
    std::chrono::milliseconds requestTimeout_{15000};
};
