#pragma once
// Where the control client hands what it cannot act on itself: server events, and the loss of the
// connection. The dispatcher implements it.
#include <string>

struct KVRControlPacket;

class KVRServerAlarmSink {
public:
    virtual ~KVRServerAlarmSink() = default;
    // Called on the control socket thread for every event packet, in arrival order; the implementation
    // queues it under its own lock and must not block on the main thread.
    virtual void serverAlarmPacket(const KVRControlPacket& packet) = 0;
    // Called on the main thread with the localized text to show before the program ends.
    virtual void criticalError(const std::string& text) = 0;
};
