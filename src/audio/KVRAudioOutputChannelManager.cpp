#include "audio/KVRAudioOutputChannelManager.h"

#include <algorithm>
#include <set>

#include "app/KVRLog.h"
#include "relay/KVRRelayPacket.h"

KVRAudioOutputChannelManager::KVRAudioOutputChannelManager(std::shared_ptr<KVRAudioBackend> backend)
    : backend_(std::move(backend)) {}

KVRAudioOutputChannelManager::~KVRAudioOutputChannelManager() {
    std::lock_guard lock(mutex_);
    for (auto& c : arrList) c->stopPlay();
}

void KVRAudioOutputChannelManager::addUserLocked(const std::string& userID) {
    for (auto& c : arrList)
        if (c->userID() == userID) return;
    auto channel = std::make_shared<KVRAudioOutputChannel>(backend_);
    channel->setRecordSink(recordSink_);
    channel->startPlay(userID);
    arrList.push_back(std::move(channel));
}

void KVRAudioOutputChannelManager::addUser(const std::string& userID) {
    std::lock_guard lock(mutex_);
    addUserLocked(userID);
}

void KVRAudioOutputChannelManager::removeAtUser(const std::string& userID) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(arrList.begin(), arrList.end(), [&](auto& c) { return c->userID() == userID; });
    if (it == arrList.end()) return;
    (*it)->stopPlay();
    arrList.erase(it);
}

std::shared_ptr<KVRAudioOutputChannel> KVRAudioOutputChannelManager::getAudioChannel(const std::string& userID) const {
    std::lock_guard lock(mutex_);
    for (auto& c : arrList)
        if (c->userID() == userID) return c;
    return nullptr;
}

std::vector<std::string> KVRAudioOutputChannelManager::users() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (auto& c : arrList) out.push_back(c->userID());
    return out;
}

bool KVRAudioOutputChannelManager::putDataEx(int headerFlag, std::span<const uint8_t> media, int mediaLength,
                                             const std::string& userID) {
    std::lock_guard lock(mutex_);
    for (auto& c : arrList)
        if (c->userID() == userID) return c->putDataEx(headerFlag, media, mediaLength, userID);
    return false;
}

bool KVRAudioOutputChannelManager::putAudioPayload(std::span<const uint8_t> payload, const std::string& userID,
                                                   bool addUnknown) {
    std::lock_guard lock(mutex_);
    if (addUnknown && !userID.empty()) addUserLocked(userID);
    for (auto& c : arrList)
        if (c->userID() == userID) return c->putAudioPayload(payload, userID);
    return false;
}

bool KVRAudioOutputChannelManager::receivedAudioData(std::span<const uint8_t> datagram, bool addUnknown) {
    auto decoded = KVRRelayPacket::decode(datagram);
    if (!decoded) {
        KVRLog("Audio datagram dropped : %zu bytes do not hold its header and payload", datagram.size());
        return false;
    }
    return putAudioPayload(decoded->payload, decoded->header.userID, addUnknown);
}

void KVRAudioOutputChannelManager::changedAudioPermission(const std::vector<std::string>& audioIDs,
                                                          const std::string& localUserID) {
    std::lock_guard lock(mutex_);
    std::set<std::string> permitted;
    for (auto& id : audioIDs)
        if (!id.empty() && id != localUserID) permitted.insert(id);
    for (auto it = arrList.begin(); it != arrList.end();) {
        if (!permitted.count((*it)->userID())) {
            (*it)->stopPlay();
            it = arrList.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& id : audioIDs)
        if (permitted.count(id)) addUserLocked(id);
}

void KVRAudioOutputChannelManager::setRecordSink(std::shared_ptr<KVRAudioRecordSink> sink) {
    std::lock_guard lock(mutex_);
    recordSink_ = sink;
    for (auto& c : arrList) c->setRecordSink(sink);
}
