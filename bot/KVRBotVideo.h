#pragma once
// The bot's video: sends the moving test pattern as its camera, and decodes every remote participant's
// video on a thread of that participant's own (the relay's receive thread only queues), saving every
// nth picture as PNG when asked.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class KVRCameraDevice;
class KVRCameraInterface;
class KVRRelayServer;
class KVRTestPatternCamera;
class KVRVideoReceiver;

class KVRBotVideo {
public:
    struct Options {
        bool send = false;
        int fps = 5;
        int width = 160;
        int height = 120;
        std::string saveFolder;  // empty: nothing saved
        int saveEvery = 10;
        // Payloads waiting for one participant's decoder; beyond this they are dropped and counted.
        size_t queueLimit = 2048;
        // As many remote tiles as the video wall has beside the own one.
        size_t remoteLimit = 48;
    };
    using LineOut = std::function<void(const std::string&)>;

    KVRBotVideo(Options options, std::string ownUserID, LineOut line);
    ~KVRBotVideo();
    KVRBotVideo(const KVRBotVideo&) = delete;
    KVRBotVideo& operator=(const KVRBotVideo&) = delete;

    // Registers the camera device and interface and starts the test pattern; false when it cannot start.
    bool startSending(const std::shared_ptr<KVRRelayServer>& relay);
    // One relay video datagram (header included), on the relay's receive thread. Never decodes here.
    void receivedVideoData(std::span<const uint8_t> datagram);
    // Stops the camera, then lets every decoder finish what it was given. Idempotent.
    void stop();

    // {"sent":N,"remote":{"<user>":{"payloads":..,"frames":..,"decoded":..,"saved":..,...}}}
    std::string reportJson() const;

    // A user id made safe as a file name prefix: anything outside [A-Za-z0-9._-] becomes '_', and a
    // leading '.' too, so a hostile id cannot point outside the folder.
    static std::string fileSafe(const std::string& userID);

private:
    struct Remote;
    void decodeLoop(Remote& remote);

    Options options_;
    std::string ownUserID_;
    LineOut line_;
    std::shared_ptr<KVRTestPatternCamera> camera_;
    std::shared_ptr<KVRCameraDevice> device_;
    std::shared_ptr<KVRCameraInterface> interface_;

    mutable std::mutex mutex_;  // guards remotes_ and stopped_
    std::map<std::string, std::unique_ptr<Remote>> remotes_;
    bool stopped_ = false;
    uint64_t refusedDatagrams_ = 0;
    uint64_t refusedUsers_ = 0;
};
