#pragma once
// The control channel client: one TCP connection to the main server that carries every request of the
// client and every event the server pushes.
//
// Threads: requests are issued from the main thread, one at a time, and block it until the reply or the
// reply wait passes. The connection's own io thread (the control socket queue) reads, frames and
// classifies what arrives; it hands events to the alarm sink, wakes the waiting request with replies, and
// never waits for the main thread. The loss of the connection reaches the sink's criticalError on the
// main thread through the run loop.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/KVRControlPacket.h"
#include "control/KVRReplySemaphore.h"

class KVRRunLoop;
class KVRServerAlarmSink;

// Every wait of the channel; tests shorten them, the client keeps the defaults.
struct KVRMainServerTiming {
    std::chrono::milliseconds replyWait{30000};      // a request's wait for its reply
    std::chrono::milliseconds aliveInterval{30000};  // keep-alive period (the first goes out at once)
    std::chrono::milliseconds connectTimeout{5000};  // the socket's own connect time-out
    std::chrono::milliseconds connectPoll{1000};     // connectToServer checks this often...
    int connectPolls = 5;                            // ...at most this many times
    std::chrono::milliseconds userInfoPause{1000};   // pause after a user record was read
};

class KVRMainServer {
public:
    using Timing = KVRMainServerTiming;

    enum class PacketClass {
        Dropped,  // keep-alive answers and the server's own housekeeping
        Portal,   // 898: the reply of whatever request waits, and an event as well
        Event,    // handed to the alarm sink, never taken as a reply
        Reply,    // the command of the last request sent
        Noise,    // anything else
    };

    static constexpr uint16_t kAliveCheck = 97;
    static constexpr uint16_t kPortalAlarm = 898;
    static constexpr int64_t kTopRoomNo = 999;

    // Cheap: no thread and no socket until connectToServer. Without a run loop the registry's is used.
    explicit KVRMainServer(std::shared_ptr<KVRRunLoop> runLoop = nullptr, Timing timing = {});
    ~KVRMainServer();
    KVRMainServer(const KVRMainServer&) = delete;
    KVRMainServer& operator=(const KVRMainServer&) = delete;

    // The dispatcher; held weakly so that the registry's objects can point at each other.
    void setAlarmSink(std::weak_ptr<KVRServerAlarmSink> sink);
    // Before connectToServer only.
    void setTiming(const Timing& timing);
    const Timing& timing() const { return timing_; }

    // Connects and starts the keep-alive and the reader; false when refused or not connected in time.
    bool connectToServer(const std::string& host, int64_t port);
    // Stops the keep-alive and closes after the pending writes; requests fail from now on.
    void disconnectFromServer();
    bool isConnected() const;
    bool isConnectedEx() const { return _isConnectedEx.load(); }

    // Writes one packet (payload as text up to its first zero byte, cut to 38399 bytes) without waiting for
    // the write to finish; returns 0. Every command but the keep-alive becomes the awaited reply command.
    int sendPacket(uint16_t command, uint16_t subCommand, std::optional<std::string_view> data);
    // 0 when signalled, 1 when the time passed (or the connection was lost); zero or less waits forever.
    int waiting(std::chrono::milliseconds timeout);
    void sendAliveCheck();

    // What the reader does with a packet carrying `command` while `sendCommand` was the last request.
    static PacketClass classifyPacket(uint16_t command, uint16_t sendCommand);
    static bool isEventCommand(uint16_t command);
    // The reader's steps, public so that tests and fuzzers can drive them without a socket.
    void receivedPacket(const KVRControlPacket& packet);
    // Frames a chunk of the byte stream; false (connection dropped) when a header announces too much.
    bool receivedBytes(std::span<const uint8_t> bytes);

    // 32 lower-case hexadecimal digits of the MD5 of the text's bytes.
    static std::string md5(std::string_view text);

    // Login, clock and identity.
    std::optional<KVRControlPacket> getServerTime();
    std::optional<KVRControlPacket> loginWithRegister(const std::string& userID, const std::string& password,
                                                      const std::string& alias);
    bool updateAlias(const std::string& alias);
    bool updateUserType(int64_t userType);
    bool registerNetInfo(const std::string& natIP, int natPort, const std::string& gateway, const std::string& locIP,
                         int locPort);
    bool updateOwnInfo(char cam, char mic, char camCtrl, const std::string& locIP);

    // Lecture room and sub-rooms.
    std::optional<KVRControlPacket> getLectureRoomInfo(const std::string& ownerOrCourseKey, int64_t topRoomNo);
    std::optional<KVRControlPacket> getSubRoomInfo(int64_t subRoomNo);
    bool updateSubRoomEx(int64_t topRoomNo, int64_t subRoomNo, const std::string& name, const std::string& owner,
                         const std::string& captain, const std::string& speacker, int64_t maxuser);
    bool enterSubRoom(int64_t subRoomNo, const std::string& userID, int64_t userType, bool needOwner,
                      bool checkMaxUser);
    bool enterSubRoomNotify(int64_t subRoomNo);
    bool exitSubRoom(int64_t subRoomNo, const std::string& userID);

    // Users and conference state.
    std::optional<KVRControlPacket> getSubRoomUserListAll(int64_t subRoomNo, int64_t offset, int64_t count);
    std::optional<KVRControlPacket> getUserInfoWithNATInfo(const std::string& userID);
    std::optional<KVRControlPacket> getConfInfo(int64_t subRoomNo);
    bool setConfInfo(const std::string& confInfo);

    // Shared documents and board data.
    std::optional<KVRControlPacket> getSharedDocumentListCount(int64_t subRoomNo);
    std::optional<KVRControlPacket> getSharedDocumentList(int64_t subRoomNo, int64_t start, int64_t count);
    bool addShareDocument(int64_t subRoomNo, const std::string& title, const std::string& fileOrigin,
                          const std::string& fileTemp);
    bool updateShareDocumentActive(int64_t subRoomNo, const std::string& fileTemp, int64_t active);
    bool deleteDocContentByTitle(int64_t subRoomNo, const std::string& title);
    bool deleteDocContentByFilename(int64_t subRoomNo, const std::string& filename);
    bool sendDocPacket(int type, const std::string& data);
    bool sendDocPacketEx(int type, const std::string& data);

    // Commands to other clients: the whole sub-room, or one user anywhere.
    bool sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data = std::nullopt);
    bool sendToClientEx(const std::string& userID, int64_t cmd, std::optional<std::string_view> data = std::nullopt);

    // Learning portal. getLLEventUploadServer also stores the upload server in the registry's configuration.
    std::optional<KVRControlPacket> getLLEventUploadServer(const std::string& rtp);
    bool sendQuilloraLog(const std::string& record);
    bool sendEnqueteRegister(const std::string& record);
    bool sendEnqueteAnswer(const std::string& record);
    bool sendQuilloraDocLog(const std::string& record);
    bool sendQuilloraVOD(const std::string& record);
    std::optional<KVRControlPacket> getLLViewUrl();
    std::optional<KVRControlPacket> getLLEnqueteLectureUrl();
    std::optional<KVRControlPacket> getLLEnqueteStudentUrl();

    // Database query: rows separated by 0x02, columns by 0x01.
    std::optional<KVRControlPacket> getQuery(const std::string& sql, int64_t items);
    // The one query the client asks: whether the user is in the sub-room; nothing when the query failed or
    // the user ID cannot be quoted safely.
    std::optional<bool> isUserInRoom(const std::string& userID, int64_t subRoomNo);
    static std::optional<std::string> userInRoomQuery(const std::string& userID, int64_t subRoomNo);

    // Inspection (tests, diagnostics).
    uint16_t sendCommand() const { return _sendCommand.load(); }
    std::optional<KVRControlPacket> receivedData() const;
    std::vector<uint8_t> sendpacket() const;
    const KVRReplySemaphore& semaphore() const { return semaphore_; }

private:
    enum class Mark { None, FreshWait, ClearReply };
    struct Outcome {
        std::optional<KVRControlPacket> reply;
        bool timedOut = false;
    };
    struct Io;

    Outcome transact(uint16_t command, std::optional<std::string> payload, Mark mark);
    std::optional<KVRControlPacket> requestPacket(uint16_t command, std::optional<std::string> payload,
                                                  Mark mark = Mark::None);
    bool requestOk(uint16_t command, std::optional<std::string> payload, Mark mark = Mark::None,
                   bool timeoutSucceeds = false);
    std::optional<KVRControlPacket> urlRequest(uint16_t command);
    void dispatchEvent(const KVRControlPacket& packet);
    // Io thread: the connection is gone; tells the main thread once.
    void connectionLost(const char* reason);
    void postCriticalError();

    Timing timing_;
    std::shared_ptr<KVRRunLoop> runLoop_;
    std::unique_ptr<Io> io_;

    mutable std::mutex sinkMutex_;
    std::weak_ptr<KVRServerAlarmSink> sink_;

    KVRReplySemaphore semaphore_;
    std::atomic<bool> _isConnectedEx{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> destroying_{false};
    std::atomic<uint16_t> _sendCommand{0};

    std::mutex sendMutex_;  // serialises packet building and write order between requester and keep-alive
    mutable std::mutex dataMutex_;
    std::vector<uint8_t> sendpacket_;
    std::optional<KVRControlPacket> receivedData_;
};
