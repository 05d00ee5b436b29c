#pragma once
// The TCP main server of the development deployment: logs users in, keeps the rooms, their members,
// published states and shared documents, answers every request of the control channel and pushes the
// events the other members of a sub-room need. All state lives on the one io thread that runs `io`.
#include <asio.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "KVRDevFaults.h"
#include "KVRDevRecords.h"
#include "control/KVRControlPacket.h"
#include "platform/KVRClock.h"

class KVRDevMainServer {
public:
    struct Settings {
        std::filesystem::path dataFolder;
        std::string publicHost = "127.0.0.1";
        uint16_t httpPort = 0;
        uint16_t filePort = 0;
        int64_t defaultMaxUsers = 50;
        size_t maxConnections = 256;
        KVRWallClock clock = kvrSystemClock();
    };

    static constexpr uint16_t kSubFailure = 3;
    // The learning-portal records are appended here, one line each, inside the data folder.
    static constexpr const char* kPortalLogName = "portal_log.txt";

    KVRDevMainServer(asio::io_context& io, KVRDevFaults& faults, Settings settings);
    ~KVRDevMainServer();

    // Binds 127.0.0.1:port (0 = any free port) and starts accepting; returns the bound port.
    uint16_t listen(uint16_t port);
    // Closes the acceptor and every connection. Call on the io thread (or after it stopped).
    void close();
    // Drops every connection of this user (a "connection lost" for tests). Call on the io thread.
    void closeConnectionsOf(const std::string& userID);
    void setHttpPort(uint16_t port) { settings_.httpPort = port; }
    void setFilePort(uint16_t port) { settings_.filePort = port; }

    // One line of the portal log split into command, sender and record fields (for tests and tools).
    struct PortalEntry {
        uint16_t command = 0;
        std::string sender;
        std::vector<std::string> fields;
    };
    static std::vector<PortalEntry> readPortalLog(const std::filesystem::path& dataFolder);

    class Session;

private:
    friend class Session;
    void accept();
    void handle(const std::shared_ptr<Session>& s, const KVRControlPacket& p);
    void leaveRoom(const std::shared_ptr<Session>& s);  // the other members see the user leave
    void detach(const std::shared_ptr<Session>& s);     // leave the room and give up the user binding
    void sessionClosed(const std::shared_ptr<Session>& s);

    // Request handlers; each returns the reply (sub-command, payload) or nothing to stay silent.
    struct Reply {
        uint16_t sub = KVRControlPacket::kSubSuccess;
        std::string payload;
    };
    Reply login(const std::shared_ptr<Session>& s, const std::vector<std::string>& f);
    Reply lectureRoomInfo(const std::vector<std::string>& f);
    Reply updateSubRoom(const std::vector<std::string>& f);
    Reply enterSubRoom(const std::shared_ptr<Session>& s, const std::vector<std::string>& f);
    Reply exitSubRoom(const std::shared_ptr<Session>& s, const std::vector<std::string>& f);
    Reply userList(const std::vector<std::string>& f);
    Reply query(const std::vector<std::string>& f);
    Reply setConfInfo(const std::shared_ptr<Session>& s, const std::string& text);
    Reply clientCommand(const std::shared_ptr<Session>& s, const std::vector<std::string>& f);
    Reply docPacket(const std::shared_ptr<Session>& s, const std::string& text);
    Reply documents(uint16_t command, const std::shared_ptr<Session>& s, const std::vector<std::string>& f);
    Reply portalRecord(uint16_t command, const std::shared_ptr<Session>& s, const std::string& text);

    KVRDevRoom* room(const std::string& field);
    KVRDevUser* sessionUser(const std::shared_ptr<Session>& s);
    // Sends an event to every member of the room but `except`.
    void broadcast(const KVRDevRoom& room, const std::string& except, uint16_t command, const std::string& payload);
    std::shared_ptr<Session> sessionOf(const std::string& userID);
    std::string now() const;

    asio::io_context& io_;
    KVRDevFaults& faults_;
    Settings settings_;
    asio::ip::tcp::acceptor acceptor_;
    std::set<std::shared_ptr<Session>> sessions_;
    std::map<std::string, KVRDevUser> users_;
    std::map<std::string, std::weak_ptr<Session>> online_;  // user ID -> its current session
    std::map<int64_t, KVRDevRoom> rooms_;
    std::map<std::string, int64_t> roomByKey_;
    int64_t nextRoomNo_ = 1;
    uint64_t nextSessionID_ = 1;
};
