#pragma once
// Fault switches of the main server, for tests that need a misbehaving deployment. Set from any thread
// (test thread, command line); read by the server's io thread.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>

class KVRDevFaults {
public:
    // Every reply waits this long before it is written (events are not delayed).
    void setReplyDelay(std::chrono::milliseconds delay);
    std::chrono::milliseconds replyDelay() const;

    // Requests of these commands get no reply at all.
    void dropReplies(uint16_t command, bool drop = true);
    bool dropsReply(uint16_t command) const;

    // Requests of these commands are answered with a failure sub-command (refused login, empty list...).
    void failReplies(uint16_t command, bool fail = true);
    bool failsReply(uint16_t command) const;

    // A request of this command closes its connection instead of being answered.
    void closeOnCommand(uint16_t command, bool close = true);
    bool closesOn(uint16_t command) const;

    // Every packet goes out as one-byte writes.
    void setSplitWrites(bool on);
    bool splitWrites() const;

    // Packets produced while one received read is handled go out merged into a single write.
    void setMergePackets(bool on);
    bool mergePackets() const;

    void clear();

private:
    mutable std::mutex mutex_;
    std::chrono::milliseconds delay_{0};
    std::set<uint16_t> drop_, fail_, close_;
    bool split_ = false;
    bool merge_ = false;
};
