#include "KVRDevFaults.h"

namespace {
void toggle(std::set<uint16_t>& s, uint16_t v, bool on) {
    if (on)
        s.insert(v);
    else
        s.erase(v);
}
}  // namespace

void KVRDevFaults::setReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard l(mutex_);
    delay_ = delay < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : delay;
}
std::chrono::milliseconds KVRDevFaults::replyDelay() const {
    std::lock_guard l(mutex_);
    return delay_;
}
void KVRDevFaults::dropReplies(uint16_t command, bool drop) {
    std::lock_guard l(mutex_);
    toggle(drop_, command, drop);
}
bool KVRDevFaults::dropsReply(uint16_t command) const {
    std::lock_guard l(mutex_);
    return drop_.count(command) != 0;
}
void KVRDevFaults::failReplies(uint16_t command, bool fail) {
    std::lock_guard l(mutex_);
    toggle(fail_, command, fail);
}
bool KVRDevFaults::failsReply(uint16_t command) const {
    std::lock_guard l(mutex_);
    return fail_.count(command) != 0;
}
void KVRDevFaults::closeOnCommand(uint16_t command, bool close) {
    std::lock_guard l(mutex_);
    toggle(close_, command, close);
}
bool KVRDevFaults::closesOn(uint16_t command) const {
    std::lock_guard l(mutex_);
    return close_.count(command) != 0;
}
void KVRDevFaults::setSplitWrites(bool on) {
    std::lock_guard l(mutex_);
    split_ = on;
}
bool KVRDevFaults::splitWrites() const {
    std::lock_guard l(mutex_);
    return split_;
}
void KVRDevFaults::setMergePackets(bool on) {
    std::lock_guard l(mutex_);
    merge_ = on;
}
bool KVRDevFaults::mergePackets() const {
    std::lock_guard l(mutex_);
    return merge_;
}
void KVRDevFaults::clear() {
    std::lock_guard l(mutex_);
    delay_ = std::chrono::milliseconds(0);
    drop_.clear();
    fail_.clear();
    close_.clear();
    split_ = merge_ = false;
}
