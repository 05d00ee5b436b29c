#include "KVRDevMainServer.h"

#include <charconv>
#include <ctime>
#include <deque>
#include <fstream>

#include "KVRDevLog.h"
#include "app/KVRTextSplit.h"

using asio::ip::tcp;
namespace R = KVRDevRecords;

namespace {
constexpr uint16_t kTopRoom = 999;
// A peer that stops reading must not make the server buffer without bound.
constexpr size_t kMaxPendingBytes = 8 * 1024 * 1024;

// Portal log lines are tab-separated; anything that could break a line or a field is escaped.
std::string escapeField(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20) {
            char b[5];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else out += static_cast<char>(c);
    }
    return out;
}

std::string unescapeField(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        char n = s[++i];
        if (n == 't') out += '\t';
        else if (n == 'n') out += '\n';
        else if (n == 'r') out += '\r';
        else if (n == 'x' && i + 2 < s.size()) {
            unsigned v = 0;
            std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16);
            out += static_cast<char>(v);
            i += 2;
        } else out += n;
    }
    return out;
}
}  // namespace

class KVRDevMainServer::Session : public std::enable_shared_from_this<Session> {
public:
    Session(KVRDevMainServer& server, tcp::socket socket, uint64_t id)
        : server_(server), socket_(std::move(socket)), id_(id) {
        asio::error_code ec;
        auto ep = socket_.remote_endpoint(ec);
        peer_ = ec ? std::string("?") : ep.address().to_string() + ":" + std::to_string(ep.port());
        socket_.set_option(tcp::no_delay(true), ec);
    }

    void start() { read(); }

    void send(uint16_t command, uint16_t sub, const std::string& payload, bool isReply) {
        if (closed_ || closing_) return;
        auto& faults = server_.faults_;
        if (isReply && faults.dropsReply(command)) {
            KVRDevLog("dropping the reply to %u for %s (fault switch)", command, describe().c_str());
            return;
        }
        auto bytes = KVRControlPacket::encode(command, sub, payload);
        auto delay = isReply ? faults.replyDelay() : std::chrono::milliseconds(0);
        if (delay.count() > 0) {
            auto timer = std::make_shared<asio::steady_timer>(socket_.get_executor(), delay);
            timer->async_wait([self = shared_from_this(), timer, bytes = std::move(bytes)](const asio::error_code& ec) {
                if (!ec) self->enqueue(bytes);
            });
            return;
        }
        enqueue(std::move(bytes));
    }

    // Writes what is queued, then closes (a session replaced by a newer login).
    void closeAfterWrites() {
        closing_ = true;
        if (queue_.empty() && merged_.empty()) closeNow();
    }

    void closeNow() {
        if (closed_) return;
        closed_ = true;
        asio::error_code ec;
        socket_.shutdown(tcp::socket::shutdown_both, ec);
        socket_.close(ec);
        server_.sessionClosed(shared_from_this());
    }

    std::string describe() const {
        return "connection " + std::to_string(id_) + " (" + peer_ + (userID.empty() ? "" : ", user " + userID) + ")";
    }

    std::string userID;
    std::optional<int64_t> roomNo;

private:
    void read() {
        socket_.async_read_some(asio::buffer(buf_), [self = shared_from_this()](const asio::error_code& ec, size_t n) {
            self->onRead(ec, n);
        });
    }

    void onRead(const asio::error_code& ec, size_t n) {
        if (closed_) return;
        if (ec) {
            if (framer_.buffered() > 0)
                KVRDevLog("%s closed with %zu bytes of an unfinished packet", describe().c_str(), framer_.buffered());
            closeNow();
            return;
        }
        std::vector<KVRControlPacket> packets;
        auto status = framer_.feed(std::span<const uint8_t>(buf_.data(), n), packets);
        auto self = shared_from_this();
        for (const auto& p : packets) {
            if (closed_ || closing_) return;
            server_.handle(self, p);
        }
        if (status == KVRControlFramer::Status::Oversize) {
            KVRDevLog("%s announced a payload of %zu bytes (at most %zu); dropping the connection", describe().c_str(),
                      framer_.lastAnnouncedLength(), KVRControlPacket::kMaxPayload);
            closeNow();
            return;
        }
        if (!closed_) read();
    }

    void enqueue(std::vector<uint8_t> bytes) {
        if (closed_) return;
        if (pending_ + bytes.size() > kMaxPendingBytes) {
            KVRDevLog("%s does not read its packets (%zu bytes waiting); dropping the connection", describe().c_str(),
                      pending_);
            closeNow();
            return;
        }
        pending_ += bytes.size();
        auto& faults = server_.faults_;
        if (faults.splitWrites()) {
            for (uint8_t b : bytes) queue_.push_back({b});
        } else if (faults.mergePackets()) {
            // Everything produced before the io loop comes round again goes out as one write.
            bool first = merged_.empty();
            merged_.insert(merged_.end(), bytes.begin(), bytes.end());
            if (first)
                asio::post(socket_.get_executor(), [self = shared_from_this()] {
                    if (self->merged_.empty()) return;
                    self->queue_.push_back(std::move(self->merged_));
                    self->merged_.clear();
                    self->writeNext();
                });
            return;
        } else {
            queue_.push_back(std::move(bytes));
        }
        writeNext();
    }

    void writeNext() {
        if (writing_ || queue_.empty() || closed_) return;
        writing_ = true;
        asio::async_write(socket_, asio::buffer(queue_.front()),
                          [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                              self->writing_ = false;
                              if (self->closed_) return;
                              if (ec) {
                                  self->closeNow();
                                  return;
                              }
                              self->pending_ -= n;
                              self->queue_.pop_front();
                              if (self->closing_ && self->queue_.empty() && self->merged_.empty()) {
                                  self->closeNow();
                                  return;
                              }
                              self->writeNext();
                          });
    }

    KVRDevMainServer& server_;
    tcp::socket socket_;
    uint64_t id_;
    std::string peer_;
    std::array<uint8_t, 16384> buf_{};
    KVRControlFramer framer_;
    std::deque<std::vector<uint8_t>> queue_;
    std::vector<uint8_t> merged_;
    size_t pending_ = 0;
    bool writing_ = false, closing_ = false, closed_ = false;
};

KVRDevMainServer::KVRDevMainServer(asio::io_context& io, KVRDevFaults& faults, Settings settings)
    : io_(io), faults_(faults), settings_(std::move(settings)), acceptor_(io) {}

KVRDevMainServer::~KVRDevMainServer() { close(); }

uint16_t KVRDevMainServer::listen(uint16_t port) {
    tcp::endpoint ep(asio::ip::make_address("127.0.0.1"), port);
    acceptor_.open(ep.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(ep);
    acceptor_.listen();
    accept();
    return acceptor_.local_endpoint().port();
}

void KVRDevMainServer::close() {
    asio::error_code ec;
    acceptor_.close(ec);
    auto all = sessions_;
    for (const auto& s : all) s->closeNow();
    sessions_.clear();
}

void KVRDevMainServer::closeConnectionsOf(const std::string& userID) {
    auto all = sessions_;
    for (const auto& s : all)
        if (s->userID == userID) {
            KVRDevLog("closing %s (fault switch)", s->describe().c_str());
            s->closeNow();
        }
}

void KVRDevMainServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted) KVRDevLog("accept failed: %s", ec.message().c_str());
            if (acceptor_.is_open() && ec != asio::error::operation_aborted) accept();
            return;
        }
        if (sessions_.size() >= settings_.maxConnections) {
            KVRDevLog("refusing a connection: %zu connections already open", sessions_.size());
            asio::error_code ignored;
            socket.close(ignored);
        } else {
            auto s = std::make_shared<Session>(*this, std::move(socket), nextSessionID_++);
            sessions_.insert(s);
            s->start();
        }
        accept();
    });
}

void KVRDevMainServer::sessionClosed(const std::shared_ptr<Session>& s) {
    detach(s);
    sessions_.erase(s);
}

void KVRDevMainServer::leaveRoom(const std::shared_ptr<Session>& s) {
    if (!s->roomNo) return;
    auto it = rooms_.find(*s->roomNo);
    if (it != rooms_.end()) {
        std::erase(it->second.members, s->userID);
        broadcast(it->second, s->userID, 56, s->userID + R::kField + std::to_string(*s->roomNo) + R::kRecord);
    }
    s->roomNo.reset();
}

void KVRDevMainServer::detach(const std::shared_ptr<Session>& s) {
    leaveRoom(s);
    if (!s->userID.empty()) {
        auto it = online_.find(s->userID);
        if (it != online_.end() && it->second.lock() == s) online_.erase(it);
    }
}

std::shared_ptr<KVRDevMainServer::Session> KVRDevMainServer::sessionOf(const std::string& userID) {
    auto it = online_.find(userID);
    return it == online_.end() ? nullptr : it->second.lock();
}

void KVRDevMainServer::broadcast(const KVRDevRoom& room, const std::string& except, uint16_t command,
                                 const std::string& payload) {
    for (const auto& id : room.members) {
        if (id == except) continue;
        if (auto s = sessionOf(id)) s->send(command, KVRControlPacket::kSubSuccess, payload, false);
    }
}

std::string KVRDevMainServer::now() const {
    auto t = std::chrono::system_clock::to_time_t(settings_.clock());
    std::tm tm{};
    localtime_r(&t, &tm);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S", &tm);
    return b;
}

KVRDevRoom* KVRDevMainServer::room(const std::string& field) {
    auto no = R::parseInteger(field);
    if (!no) return nullptr;
    auto it = rooms_.find(*no);
    return it == rooms_.end() ? nullptr : &it->second;
}

KVRDevUser* KVRDevMainServer::sessionUser(const std::shared_ptr<Session>& s) {
    if (s->userID.empty()) return nullptr;
    auto it = users_.find(s->userID);
    return it == users_.end() ? nullptr : &it->second;
}

void KVRDevMainServer::handle(const std::shared_ptr<Session>& s, const KVRControlPacket& p) {
    const uint16_t cmd = p.command;
    if (p.subCommand != KVRControlPacket::kSubRequest) {
        KVRDevLog("%s sent command %u with sub-command %u (requests carry 1); ignored", s->describe().c_str(), cmd,
                  p.subCommand);
        return;
    }
    if (faults_.closesOn(cmd)) {
        KVRDevLog("closing %s on command %u (fault switch)", s->describe().c_str(), cmd);
        s->closeNow();
        return;
    }
    const std::string text = p.payloadText();
    auto fail = [&](const char* why) {
        KVRDevLog("%s: command %u refused: %s", s->describe().c_str(), cmd, why);
        return Reply{kSubFailure, {}};
    };
    Reply reply;
    if (!R::isValidUtf8(text)) {
        reply = fail("payload is not UTF-8");
    } else if (s->userID.empty() && cmd != 97 && cmd != 177 && cmd != 9) {
        reply = fail("not logged in");
    } else {
        const auto f = R::requestFields(text);
        KVRDevUser* user = sessionUser(s);
        switch (cmd) {
            case 97: reply = {KVRControlPacket::kSubSuccess, {}}; break;
            case 177: reply = {KVRControlPacket::kSubSuccess, now() + R::kRecord}; break;
            case 9: reply = login(s, f); break;
            case 22:
                if (!user) reply = fail("unknown user");
                else user->alias = f[0];
                break;
            case 124:
                if (auto t = R::parseInteger(f[0]); t && user) user->userType = *t;
                else reply = fail("user type is not an integer");
                break;
            case 173:
                if (f.size() < 5 || !user) {
                    reply = fail("net info needs five fields");
                } else {
                    user->natIP = f[0];
                    user->natPort = R::parseInteger(f[1]).value_or(0);
                    user->gatewayIP = f[2];
                    user->localIP = f[3];
                }
                break;
            case 15:
                if (f.size() < 4 || !user) {
                    reply = fail("own info needs four fields");
                } else {
                    user->camFlag = f[0];
                    user->micFlag = f[1];
                    user->camCtrlFlag = f[2];
                    user->localIP = f[3];
                }
                break;
            case 236: reply = lectureRoomInfo(f); break;
            case 38:
                if (auto* r = room(f[0])) reply.payload = R::subRoomRecord(*r);
                else reply = fail("unknown sub-room");
                break;
            case 138: reply = updateSubRoom(f); break;
            case 54: reply = enterSubRoom(s, f); break;
            case 46:
                if (!room(f[0]) || !s->roomNo || *s->roomNo != *R::parseInteger(f[0]))
                    reply = fail("not a member of that sub-room");
                break;
            case 51: reply = exitSubRoom(s, f); break;
            case 175: reply = userList(f); break;
            case 176: {
                auto it = users_.find(f[0]);
                if (f[0].empty() || it == users_.end()) reply = fail("unknown user");
                else reply.payload = R::userRecord(it->second);
                break;
            }
            case 620: reply = query(f); break;
            case 127: {
                auto* r = room(f[0]);
                if (!r) reply = fail("unknown sub-room");
                // No state yet: a failure, so the owner publishes the defaults and the others read them.
                else if (!r->confState) reply = {kSubFailure, {}};
                else reply.payload = R::confStateReply(*r->confState);
                break;
            }
            case 114: reply = setConfInfo(s, text); break;
            case 853: reply = clientCommand(s, f); break;
            case 224: reply = docPacket(s, text); break;
            case 480: case 481: case 218: case 220: case 221: case 223: reply = documents(cmd, s, f); break;
            case 893: case 894: case 895: case 896: case 1100: reply = portalRecord(cmd, s, text); break;
            case 899:
                // The log upload server speaks the file server protocol, so it is the file port.
                reply.payload = settings_.publicHost + R::kField + std::to_string(settings_.filePort) + R::kRecord;
                break;
            case 1101: case 1102: case 1103: {
                const char* page = cmd == 1101 ? "/portal/view.html"
                                   : cmd == 1102 ? "/portal/enquete_lecture.html"
                                                 : "/portal/enquete_student.html";
                reply.payload = settings_.publicHost + R::kField + page + R::kField +
                                std::to_string(settings_.httpPort) + R::kRecord;
                break;
            }
            default: reply = fail("unknown command"); break;
        }
    }
    if (faults_.failsReply(cmd) && reply.sub == KVRControlPacket::kSubSuccess) {
        KVRDevLog("failing the reply to %u for %s (fault switch)", cmd, s->describe().c_str());
        reply = {kSubFailure, {}};
    }
    // 894 and 895 are answered by one 898, the portal's reply event, and nothing else.
    if ((cmd == 894 || cmd == 895) && reply.sub == KVRControlPacket::kSubSuccess) {
        s->send(898, KVRControlPacket::kSubSuccess, reply.payload, true);
        return;
    }
    s->send(cmd, reply.sub, reply.payload, true);
}

KVRDevMainServer::Reply KVRDevMainServer::login(const std::shared_ptr<Session>& s, const std::vector<std::string>& f) {
    if (f.size() < 5 || f[0].empty() || f[0].size() > 255) {
        KVRDevLog("%s: login refused: needs a user ID and five fields", s->describe().c_str());
        return {kSubFailure, {}};
    }
    const std::string& id = f[0];
    auto it = users_.find(id);
    if (it != users_.end() && it->second.passwordHash != f[1]) {
        KVRDevLog("%s: login of %s refused: wrong password", s->describe().c_str(), id.c_str());
        return {kSubFailure, {}};
    }
    if (!s->userID.empty() && s->userID != id) detach(s);  // a session switching users leaves as the old one
    if (auto old = sessionOf(id); old && old != s) {
        KVRDevLog("%s logged in again; ending %s", id.c_str(), old->describe().c_str());
        detach(old);
        old->send(82, KVRControlPacket::kSubSuccess, id + R::kRecord, false);
        old->closeAfterWrites();
    }
    KVRDevUser& u = users_[id];
    if (u.userID.empty()) {
        u.userID = id;
        u.passwordHash = f[1];
        KVRDevLog("registered user %s", id.c_str());
    }
    u.alias = f[2];
    u.loginTime = now();
    s->userID = id;
    online_[id] = s;
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::lectureRoomInfo(const std::vector<std::string>& f) {
    if (f.size() < 2 || f[0].empty() || R::parseInteger(f[1]) != kTopRoom) {
        KVRDevLog("room look-up refused: needs a key and top room %u", kTopRoom);
        return {kSubFailure, {}};
    }
    auto it = roomByKey_.find(f[0]);
    int64_t no;
    if (it != roomByKey_.end()) {
        no = it->second;
    } else {
        no = nextRoomNo_++;
        KVRDevRoom r;
        r.roomNo = no;
        r.key = f[0];
        r.ownerID = r.captainID = r.speakerID = f[0];
        r.name = f[0];
        r.regDate = now();
        r.maxUsers = settings_.defaultMaxUsers;
        rooms_[no] = std::move(r);
        roomByKey_[f[0]] = no;
        KVRDevLog("created sub-room %lld for %s", static_cast<long long>(no), f[0].c_str());
    }
    return {KVRControlPacket::kSubSuccess, std::to_string(no) + R::kRecord};
}

KVRDevMainServer::Reply KVRDevMainServer::updateSubRoom(const std::vector<std::string>& f) {
    KVRDevRoom* r = f.size() >= 7 ? room(f[1]) : nullptr;
    auto max = f.size() >= 7 ? R::parseInteger(f[6]) : std::nullopt;
    if (!r || !max) {
        KVRDevLog("sub-room update refused: needs seven fields, a known sub-room and a maximum");
        return {kSubFailure, {}};
    }
    r->name = f[2];
    r->ownerID = f[3];
    r->captainID = f[4];
    r->speakerID = f[5];
    r->maxUsers = *max;
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::enterSubRoom(const std::shared_ptr<Session>& s,
                                                       const std::vector<std::string>& f) {
    KVRDevRoom* r = f.size() >= 5 ? room(f[0]) : nullptr;
    auto refuse = [&](const char* why) {
        KVRDevLog("%s: enter refused: %s", s->describe().c_str(), why);
        return Reply{kSubFailure, {}};
    };
    if (!r) return refuse("needs five fields and a known sub-room");
    if (f[1] != s->userID) return refuse("enters under another user's ID");
    if (r->hasMember(s->userID)) return {};
    const bool needOwner = f[3] == "1", checkMax = f[4] == "1";
    if (checkMax && r->maxUsers > 0 && static_cast<int64_t>(r->members.size()) >= r->maxUsers)
        return refuse("the sub-room is full");
    if (needOwner && !r->hasMember(r->ownerID)) return refuse("the owner is not in the sub-room");
    leaveRoom(s);  // moving rooms: the old one sees the user leave
    r->members.push_back(s->userID);
    s->roomNo = r->roomNo;
    broadcast(*r, s->userID, 55, s->userID + R::kField + std::to_string(r->roomNo) + R::kRecord);
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::exitSubRoom(const std::shared_ptr<Session>& s,
                                                      const std::vector<std::string>& f) {
    KVRDevRoom* r = f.size() >= 2 ? room(f[0]) : nullptr;
    if (!r || f[1] != s->userID || !s->roomNo || *s->roomNo != r->roomNo) {
        KVRDevLog("%s: exit refused: not a member of that sub-room", s->describe().c_str());
        return {kSubFailure, {}};
    }
    std::erase(r->members, s->userID);
    s->roomNo.reset();
    broadcast(*r, s->userID, 56, s->userID + R::kField + std::to_string(r->roomNo) + R::kRecord);
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::userList(const std::vector<std::string>& f) {
    KVRDevRoom* r = f.size() >= 3 ? room(f[0]) : nullptr;
    auto offset = f.size() >= 3 ? R::parseInteger(f[1]) : std::nullopt;
    auto count = f.size() >= 3 ? R::parseInteger(f[2]) : std::nullopt;
    if (!r || !offset || !count || *offset < 0 || *count < 0) {
        KVRDevLog("user list refused: needs a known sub-room, an offset and a count");
        return {kSubFailure, {}};
    }
    Reply reply;
    for (int64_t i = *offset; i < static_cast<int64_t>(r->members.size()) && i < *offset + *count; ++i) {
        auto it = users_.find(r->members[static_cast<size_t>(i)]);
        if (it == users_.end()) continue;
        std::string rec = R::userRecord(it->second);
        // Whole records only: a list cut inside a record would hand the client a broken one.
        if (reply.payload.size() + rec.size() > KVRControlPacket::kMaxPayload) break;
        reply.payload += rec;
    }
    return reply;
}

KVRDevMainServer::Reply KVRDevMainServer::query(const std::vector<std::string>& f) {
    // The one query the client asks: is this user in this room.
    static const std::string kUser = "curnrmusrinf_userid='", kRoom = "curnrmusrinf_roomno=";
    const std::string& sql = f[0];
    size_t u = sql.find(kUser), rn = sql.find(kRoom);
    size_t uEnd = u == std::string::npos ? u : sql.find('\'', u + kUser.size());
    if (u == std::string::npos || uEnd == std::string::npos || rn == std::string::npos) {
        KVRDevLog("query refused: not the user-in-room count");
        return {kSubFailure, {}};
    }
    std::string id = sql.substr(u + kUser.size(), uEnd - u - kUser.size());
    std::string digits;
    for (size_t i = rn + kRoom.size(); i < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[i])) ||
                                                           (i == rn + kRoom.size() && sql[i] == '-'));
         ++i)
        digits += sql[i];
    KVRDevRoom* r = room(digits);
    int count = r && r->hasMember(id) ? 1 : 0;
    return {KVRControlPacket::kSubSuccess, std::to_string(count) + R::kRecord};
}

KVRDevMainServer::Reply KVRDevMainServer::setConfInfo(const std::shared_ptr<Session>& s, const std::string& text) {
    std::string record = text.substr(0, text.find(R::kRecord));
    auto fields = kvr::split(record, std::string_view("\x01", 1));
    // The owner publishes the first state right after the room look-up, before entering it.
    KVRDevRoom* target = fields.size() >= 7 ? room(fields[0]) : nullptr;
    bool allowed = target && ((s->roomNo && *s->roomNo == target->roomNo) || target->ownerID == s->userID);
    if (!allowed) {
        KVRDevLog("%s: conference state refused: needs seven fields and a sub-room the sender is in or owns",
                  s->describe().c_str());
        return {kSubFailure, {}};
    }
    KVRDevRoom& r = *target;
    r.confState = record;
    std::string payload = R::confStateAlarm(r.ownerID, s->userID, record);
    if (payload.size() > KVRControlPacket::kMaxPayload) {
        KVRDevLog("%s: conference state too long to pass on", s->describe().c_str());
        return {kSubFailure, {}};
    }
    broadcast(r, s->userID, 128, payload);
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::clientCommand(const std::shared_ptr<Session>& s,
                                                        const std::vector<std::string>& f) {
    auto target = f.size() >= 3 ? R::parseInteger(f[0]) : std::nullopt;
    if (!target || f[2].find(R::kCommand) == std::string::npos) {
        KVRDevLog("%s: client command refused: needs an addressee and a command part", s->describe().c_str());
        return {kSubFailure, {}};
    }
    // The addressee field gives way to the sender; the rest passes unchanged.
    std::string payload = s->userID + R::kField + f[1] + R::kField + f[2] + R::kRecord;
    if (f[1].empty()) {
        auto it = rooms_.find(*target);
        if (it == rooms_.end()) {
            KVRDevLog("%s: client command to unknown sub-room %lld", s->describe().c_str(),
                      static_cast<long long>(*target));
            return {kSubFailure, {}};
        }
        broadcast(it->second, s->userID, 854, payload);
        return {};
    }
    auto to = sessionOf(f[1]);
    if (!to) {
        KVRDevLog("%s: client command to %s, who is not connected", s->describe().c_str(), f[1].c_str());
        return {kSubFailure, {}};
    }
    to->send(854, KVRControlPacket::kSubSuccess, payload, false);
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::docPacket(const std::shared_ptr<Session>& s, const std::string& text) {
    if (!s->roomNo || text.find(R::kField) == std::string::npos) {
        KVRDevLog("%s: board announcement refused: needs a type, 0x01 and the sender in a sub-room",
                  s->describe().c_str());
        return {kSubFailure, {}};
    }
    broadcast(rooms_.at(*s->roomNo), s->userID, 208, text);
    return {};
}

KVRDevMainServer::Reply KVRDevMainServer::documents(uint16_t cmd, const std::shared_ptr<Session>& s,
                                                    const std::vector<std::string>& f) {
    KVRDevRoom* r = room(f[0]);
    auto refuse = [&](const char* why) {
        KVRDevLog("%s: document request %u refused: %s", s->describe().c_str(), cmd, why);
        return Reply{kSubFailure, {}};
    };
    if (!r) return refuse("unknown sub-room");
    auto& docs = r->documents;
    switch (cmd) {
        case 480: return {KVRControlPacket::kSubSuccess, std::to_string(docs.size())};
        case 481: {
            auto first = f.size() >= 3 ? R::parseInteger(f[1]) : std::nullopt;
            auto count = f.size() >= 3 ? R::parseInteger(f[2]) : std::nullopt;
            if (!first || !count || *first < 0 || *count < 0) return refuse("needs a first index and a count");
            Reply reply;
            for (int64_t i = *first; i < static_cast<int64_t>(docs.size()) && i < *first + *count; ++i) {
                std::string rec = R::documentRecord(docs[static_cast<size_t>(i)]) + R::kRecord;
                if (reply.payload.size() + rec.size() > KVRControlPacket::kMaxPayload) break;
                reply.payload += rec;
            }
            return reply;
        }
        case 218: {
            if (f.size() < 4 || f[3].empty()) return refuse("needs a title, a page title and a file name");
            std::erase_if(docs, [&](const KVRDevDocument& d) { return d.fileName == f[3]; });
            docs.push_back({s->userID, f[1], f[2], f[3], false});
            return {};
        }
        case 223: {
            auto active = f.size() >= 3 ? R::parseInteger(f[2]) : std::nullopt;
            if (!active) return refuse("needs a file name and an active flag");
            bool found = false;
            for (auto& d : docs) found |= d.fileName == f[1];
            if (!found) return refuse("unknown file name");
            // One content is active at a time.
            for (auto& d : docs) d.active = d.fileName == f[1] ? *active != 0 : (*active != 0 ? false : d.active);
            return {};
        }
        case 221:
            if (f.size() < 2) return refuse("needs a title");
            std::erase_if(docs, [&](const KVRDevDocument& d) { return d.title == f[1]; });
            return {};
        case 220:
            if (f.size() < 2) return refuse("needs a file name");
            std::erase_if(docs, [&](const KVRDevDocument& d) { return d.fileName == f[1]; });
            return {};
    }
    return refuse("unknown document request");
}

KVRDevMainServer::Reply KVRDevMainServer::portalRecord(uint16_t cmd, const std::shared_ptr<Session>& s,
                                                       const std::string& text) {
    std::string record = text.substr(0, text.find(R::kRecord));
    if (record.empty()) {
        KVRDevLog("%s: portal record %u refused: empty", s->describe().c_str(), cmd);
        return {kSubFailure, {}};
    }
    std::string line = std::to_string(cmd) + "\t" + escapeField(s->userID);
    for (const auto& field : kvr::split(record, std::string_view("\x01", 1))) line += "\t" + escapeField(field);
    std::ofstream out(settings_.dataFolder / kPortalLogName, std::ios::app | std::ios::binary);
    out << line << '\n';
    out.flush();
    if (!out) {
        KVRDevLog("portal record %u could not be stored in %s", cmd, settings_.dataFolder.c_str());
        return {kSubFailure, {}};
    }
    if (cmd == 894 || cmd == 895) return {KVRControlPacket::kSubSuccess, std::to_string(cmd) + R::kField + "OK"};
    return {};
}

std::vector<KVRDevMainServer::PortalEntry> KVRDevMainServer::readPortalLog(const std::filesystem::path& dataFolder) {
    std::vector<PortalEntry> out;
    std::ifstream in(dataFolder / kPortalLogName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        auto parts = kvr::split(line, "\t");
        if (parts.size() < 2) continue;
        PortalEntry e;
        e.command = static_cast<uint16_t>(R::parseInteger(parts[0]).value_or(0));
        e.sender = unescapeField(parts[1]);
        for (size_t i = 2; i < parts.size(); ++i) e.fields.push_back(unescapeField(parts[i]));
        out.push_back(std::move(e));
    }
    return out;
}
