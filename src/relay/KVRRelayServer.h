#pragma once
// The client's UDP endpoint toward the relay: registration (NAT info), entering and leaving the relay's
// copy of the sub-room, keep-alive, the media sends, and the hand-off of received media to the
// dispatcher. Its own asio thread is the relay receive queue; blocking requests wait on a semaphore
// that this thread signals, so they may be made from the main thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "relay/KVRRelayDataSink.h"

class KVRRelayServer {
public:
    struct Options {
        // Local address to bind (port 0 always); all interfaces unless a test wants loopback only.
        std::string bindAddress = "0.0.0.0";
        // How long getNATInfo, enterRoom and exitRoom wait for a reply.
        std::chrono::milliseconds replyWait{30000};
        // Keep-alive period once registered.
        std::chrono::milliseconds aliveInterval{3000};
        // Malformed datagrams are logged for the first and then every Nth, not each one.
        uint64_t dropLogEvery = 100;
    };

    // Creates the socket, binds it and starts receiving; nothing when the socket cannot be created.
    static std::shared_ptr<KVRRelayServer> initWithDelegateEx(Options options);
    static std::shared_ptr<KVRRelayServer> initWithDelegateEx() { return initWithDelegateEx(Options{}); }
    ~KVRRelayServer();
    KVRRelayServer(const KVRRelayServer&) = delete;
    KVRRelayServer& operator=(const KVRRelayServer&) = delete;

    // Binds to port 0 and begins receiving. Failures are logged, not reported.
    bool bindPort();
    void setInfo(const std::string& userID, const std::string& ip, int64_t port);

    bool getNATInfo();
    bool enterRoom(int64_t subRoomNo);
    bool exitRoom();
    void sendAliveCheck();

    // Media sends; they go out whether registered or not.
    void sendText(const uint8_t* data, uint32_t size);
    void sendAudio(const uint8_t* data, uint32_t size);
    void sendVideo(const uint8_t* data, uint32_t size);
    void sendBoardData(const uint8_t* data, uint32_t size);

    // Only the low 8 bits of command and sub-command reach the wire. Always 0: send results are not
    // reported (a refused id or payload is logged).
    int sendPacket(uint16_t command, uint16_t subCommand, const char* text);
    int sendPacket(uint16_t command, uint16_t subCommand, const uint8_t* data, uint32_t size);

    // 0 when a reply signalled the semaphore, non-zero on time-out; 0 or less waits without limit.
    int waiting(double seconds);

    // The receive callback: classifies one datagram. Runs on the receive thread; public so that
    // fuzzers and tests can feed it directly.
    void udpSocket(std::span<const uint8_t> datagram, const KVRRelayAddress& fromAddress);

    void setDataSink(std::weak_ptr<KVRRelayDataSink> sink);
    void setReplyWait(std::chrono::milliseconds wait);

    bool isConnectedEx() const { return isConnectedEx_.load(); }
    int64_t mySubRoomNo() const;
    std::string myID() const;
    std::vector<uint8_t> receivedData() const;
    uint16_t localPort() const;
    // Datagrams dropped because they were shorter than the header or announced more than arrived.
    uint64_t droppedDatagrams() const { return dropped_.load(); }
    uint64_t sentDatagrams() const { return sent_.load(); }

    // Body of the keep-alive thread: one alive check at once, then one per interval until stopped.
    void threadAliveChecker(std::stop_token stop);

private:
    struct Impl;
    explicit KVRRelayServer(Options options);
    void signalReply();
    void armReplySemaphore();
    double replyWaitSeconds() const;
    void startAliveThreadOnce();
    void noteDropped(const char* why, size_t size);
    // Builds and queues one datagram; caller holds sendMutex_.
    void sendLocked(uint8_t command, uint8_t subCommand, std::span<const uint8_t> payload);

    Options options_;
    std::unique_ptr<Impl> impl_;

    // Serialises every send: datagrams are built one at a time, from any thread.
    mutable std::mutex sendMutex_;
    std::string myID_;
    std::string serverIP_;
    int64_t serverPort_ = 0;
    int64_t mySubRoomNo_ = 0;
    bool loggedLongID_ = false;

    // The reply semaphore; it exists from the first wait on, as replies before that are nobody's.
    mutable std::mutex replyMutex_;
    std::condition_variable replyCv_;
    bool semaphoreCreated_ = false;
    unsigned replyCount_ = 0;
    std::vector<uint8_t> receivedData_;
    std::chrono::milliseconds replyWait_;

    std::atomic<bool> isConnectedEx_{false};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> sent_{0};

    std::mutex sinkMutex_;
    std::weak_ptr<KVRRelayDataSink> sink_;

    std::once_flag aliveOnce_;
    std::mutex aliveMutex_;
    std::condition_variable_any aliveCv_;
    std::jthread aliveCheckThread_;
};
