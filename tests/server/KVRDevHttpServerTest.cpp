#include <gtest/gtest.h>

#include <fstream>

#include "KVRDevHttpServer.h"
#include "KVRDevServer.h"
#include "support/KVRTempDir.h"

namespace fs = std::filesystem;

namespace {
std::string httpGet(uint16_t port, const std::string& requestText) {
    asio::io_context io;
    asio::ip::tcp::socket s(io);
    s.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(s, asio::buffer(requestText));
    std::string out;
    asio::error_code ec;
    char buf[4096];
    for (;;) {
        size_t n = s.read_some(asio::buffer(buf), ec);
        if (ec) break;
        out.append(buf, n);
    }
    return out;
}
}  // namespace

TEST(KVRDevHttpServer, ResolvesOnlyFilesInsideTheDataFolder) {
    KVRTempDir dir;
    fs::create_directories(dir.path() / "docs");
    std::ofstream(dir.path() / "docs" / "a b.txt") << "x";
    KVRTempDir outside;
    std::ofstream(outside.path() / "secret.txt") << "s";
    fs::create_symlink(outside.path() / "secret.txt", dir.path() / "link.txt");

    struct {
        const char* target;
        bool found;
    } cases[] = {
        {"/docs/a%20b.txt", true},  {"/docs/a%20b.txt?x=1", true}, {"/docs/../docs/a%20b.txt", false},
        {"/%2e%2e/etc/passwd", false}, {"/docs", false},             {"/missing.txt", false},
        {"/docs/a%2", false},       {"/docs/a%00b", false},        {"docs/a%20b.txt", false},
        {"/link.txt", false},
    };
    for (const auto& c : cases) EXPECT_EQ(KVRDevHttpServer::resolve(dir.path(), c.target).has_value(), c.found) << c.target;
}

TEST(KVRDevHttpServer, ServesFilesAndRefusesTheRest) {
    KVRTempDir dir;
    KVRDevServerOptions o;
    o.dataFolder = dir.str();
    KVRDevServer server(o);
    ASSERT_TRUE(server.start());
    std::string body(200000, 'k');  // more than one chunk
    std::ofstream(dir.path() / "big.bin", std::ios::binary) << body;

    std::string r = httpGet(server.ports().http, "GET /big.bin HTTP/1.0\r\n\r\n");
    EXPECT_EQ(r.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_NE(r.find("Content-Length: 200000\r\n"), std::string::npos);
    EXPECT_EQ(r.substr(r.find("\r\n\r\n") + 4), body);

    EXPECT_EQ(httpGet(server.ports().http, "GET /../etc/passwd HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 404", 0), 0u);
    EXPECT_EQ(httpGet(server.ports().http, "POST /big.bin HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 405", 0), 0u);
    EXPECT_EQ(httpGet(server.ports().http, "garbage\r\n\r\n").rfind("HTTP/1.0 400", 0), 0u);
    EXPECT_EQ(httpGet(server.ports().http, "GET /" + std::string(10000, 'a') + " HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 431", 0),
              0u);
    // The portal pages the server points clients at exist from the start.
    EXPECT_EQ(httpGet(server.ports().http, "GET /portal/view.html HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 200", 0), 0u);
}
