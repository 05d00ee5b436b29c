#pragma once
// One playback channel per remote user who may speak; payloads of users without a channel are dropped.
// Its lock is held while a payload is handed to a channel, so no channel goes away under it.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/KVRAudioOutputChannel.h"

class KVRAudioOutputChannelManager {
public:
    explicit KVRAudioOutputChannelManager(std::shared_ptr<KVRAudioBackend> backend = {});
    ~KVRAudioOutputChannelManager();

    void addUser(const std::string& userID);
    void removeAtUser(const std::string& userID);
    std::shared_ptr<KVRAudioOutputChannel> getAudioChannel(const std::string& userID) const;
    std::vector<std::string> users() const;

    bool putDataEx(int headerFlag, std::span<const uint8_t> media, int mediaLength, const std::string& userID);
    // A whole payload; with `addUnknown`, a user without a channel gets one first (the bot's way of
    // hearing everyone who speaks).
    bool putAudioPayload(std::span<const uint8_t> payload, const std::string& userID, bool addUnknown = false);

    // A whole relay datagram (command 12 or 41) as the dispatcher gets it: the sender comes from the
    // relay header. False when the datagram is malformed or nobody plays it.
    bool receivedAudioData(std::span<const uint8_t> datagram, bool addUnknown = false);

    // Keeps channels exactly for the users in `audioIDs` other than the local user.
    void changedAudioPermission(const std::vector<std::string>& audioIDs, const std::string& localUserID);

    void setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink);

private:
    void addUserLocked(const std::string& userID);

    std::shared_ptr<KVRAudioBackend> backend_;
    std::shared_ptr<KVRAudioRecordSink> recordSink_;
    mutable std::recursive_mutex mutex_;
    std::vector<std::shared_ptr<KVRAudioOutputChannel>> arrList;
};
