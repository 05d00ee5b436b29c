#include "KVRDevHttpServer.h"

#include <fstream>
#include <memory>

#include "KVRDevLog.h"
#include "app/KVRTextSplit.h"

using asio::ip::tcp;
namespace fs = std::filesystem;

namespace {
constexpr size_t kMaxRequestHead = 8192;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string contentType(const fs::path& p) {
    std::string ext = p.extension().string();
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
    if (ext == ".txt" || ext == ".xml") return "text/plain; charset=utf-8";
    if (ext == ".png") return "image/png";
    if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
    if (ext == ".gif") return "image/gif";
    if (ext == ".pdf") return "application/pdf";
    if (ext == ".mp4") return "video/mp4";
    return "application/octet-stream";
}

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket s, fs::path root, std::chrono::milliseconds timeout)
        : socket_(std::move(s)), root_(std::move(root)), timer_(socket_.get_executor()), buf_(kMaxRequestHead) {
        timer_.expires_after(timeout);
    }

    void start() {
        timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (!ec) {
                asio::error_code ignored;
                self->socket_.close(ignored);
            }
        });
        asio::async_read_until(socket_, buf_, "\r\n\r\n", [self = shared_from_this()](const asio::error_code& ec, size_t) {
            self->onHead(ec);
        });
    }

private:
    void onHead(const asio::error_code& ec) {
        timer_.cancel();
        if (ec) {
            if (ec == asio::error::not_found) respond(431, "Request Header Fields Too Large", "request head too long");
            return;
        }
        std::string head(asio::buffers_begin(buf_.data()), asio::buffers_end(buf_.data()));
        std::string line = head.substr(0, head.find("\r\n"));
        auto parts = kvr::split(line, " ");
        if (parts.size() != 3 || parts[2].rfind("HTTP/1.", 0) != 0) {
            respond(400, "Bad Request", "malformed request line");
            return;
        }
        head_ = parts[0] == "HEAD";
        if (parts[0] != "GET" && !head_) {
            respond(405, "Method Not Allowed", "only GET and HEAD are served");
            return;
        }
        auto file = KVRDevHttpServer::resolve(root_, parts[1]);
        if (!file) {
            KVRDevLog("http: no file for %.200s", parts[1].c_str());
            respond(404, "Not Found", "no such file");
            return;
        }
        file_.open(*file, std::ios::binary);
        std::error_code sizeEc;
        auto size = fs::file_size(*file, sizeEc);
        if (!file_ || sizeEc) {
            respond(404, "Not Found", "file cannot be read");
            return;
        }
        out_ = "HTTP/1.0 200 OK\r\nContent-Type: " + contentType(*file) +
               "\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n";
        writeOut(!head_);
    }

    void respond(int code, const char* reason, const char* body) {
        std::string text = std::string(body) + "\n";
        out_ = "HTTP/1.0 " + std::to_string(code) + " " + reason +
               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
               "\r\nConnection: close\r\n\r\n" + (head_ ? "" : text);
        writeOut(false);
    }

    // Writes out_, then streams the file in chunks when asked, then closes.
    void writeOut(bool thenFile) {
        asio::async_write(socket_, asio::buffer(out_), [self = shared_from_this(), thenFile](const asio::error_code& ec, size_t) {
            if (!ec && thenFile) self->nextChunk();
            else self->finish();
        });
    }

    void nextChunk() {
        chunk_.resize(64 * 1024);
        file_.read(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
        auto got = static_cast<size_t>(file_.gcount());
        if (got == 0) {
            finish();
            return;
        }
        chunk_.resize(got);
        asio::async_write(socket_, asio::buffer(chunk_), [self = shared_from_this()](const asio::error_code& ec, size_t) {
            if (ec) self->finish();
            else self->nextChunk();
        });
    }

    void finish() {
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    tcp::socket socket_;
    fs::path root_;
    asio::steady_timer timer_;
    asio::streambuf buf_;
    std::ifstream file_;
    std::string out_;
    std::vector<char> chunk_;
    bool head_ = false;
};
}  // namespace

KVRDevHttpServer::KVRDevHttpServer(asio::io_context& io, fs::path root) : acceptor_(io), root_(std::move(root)) {}

uint16_t KVRDevHttpServer::listen(uint16_t port) {
    tcp::endpoint ep(asio::ip::make_address("127.0.0.1"), port);
    acceptor_.open(ep.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(ep);
    acceptor_.listen();
    accept();
    return acceptor_.local_endpoint().port();
}

void KVRDevHttpServer::close() {
    asio::error_code ec;
    acceptor_.close(ec);
}

void KVRDevHttpServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket s) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (!ec) std::make_shared<Connection>(std::move(s), root_, requestTimeout_)->start();
        accept();
    });
}

std::optional<fs::path> KVRDevHttpServer::resolve(const fs::path& root, std::string_view target) {
    if (target.empty() || target[0] != '/') return std::nullopt;
    target = target.substr(0, target.find_first_of("?#"));
    std::string path;
    for (size_t i = 0; i < target.size(); ++i) {
        char c = target[i];
        if (c == '%') {
            if (i + 2 >= target.size()) return std::nullopt;
            int hi = hexValue(target[i + 1]), lo = hexValue(target[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        // A decoded zero or backslash has no business in a file name served from here.
        if (c == '\0' || c == '\\') return std::nullopt;
        path += c;
    }
    for (const auto& seg : kvr::split(path, "/"))
        if (seg == "..") return std::nullopt;
    std::error_code ec;
    fs::path base = fs::canonical(root, ec);
    if (ec) return std::nullopt;
    fs::path file = fs::canonical(base / fs::path(path).relative_path(), ec);
    if (ec) return std::nullopt;
    // Symbolic links must not lead out of the data folder either.
    auto rel = file.lexically_relative(base);
    if (rel.empty() || *rel.begin() == "..") return std::nullopt;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    return file;
}
