#pragma once
// The learning portal's record of the lecture: joins, leaves, kick-outs, shared files, the recording,
// the chat transcript and the polls, sent over the control channel as 0x01-separated lines that end with
// the course and participant fields of the launch.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class KVRConferenceControl;

class KVRQuilloraLog {
public:
    enum EventCode : int64_t { Open = 0, Close = 1, In = 2, InFail = 3, Destroy = 4, Out = 5, Workout = 6 };

    // Without a transport the registry's control client is used.
    explicit KVRQuilloraLog(std::shared_ptr<KVRConferenceControl> control = nullptr);

    bool sendLog(int64_t eventCode);
    bool sendConferenceShareFileLog();
    bool sendVODLog(const std::string& path);
    bool sendChatLog(const std::string& path);
    void sendEnqueteReqister(int64_t enqueteValue, const std::string& text);
    bool sendEnqueteAnswer(int64_t number, const std::string& memo);

    bool isLoggedChat() const { return _isLoggedTextChat; }
    bool isLoggedShareFile() const { return _isLoggedShareFile; }

    // The records as sent, for tests and the diagnostic log.
    static const char* eventName(int64_t eventCode);
    static std::string commonTail();
    static std::string buildRecord(const std::vector<std::string>& leadingFields);
    // A separator byte inside a value would shift or cut the record: it becomes a blank.
    static std::string sanitize(std::string value);
    static int64_t selectedSubRoomNo();
    static bool isSeminarType();

private:
    std::shared_ptr<KVRConferenceControl> control_;
    bool _isLoggedShareFile = false;
    bool _isLoggedTextChat = false;
};
