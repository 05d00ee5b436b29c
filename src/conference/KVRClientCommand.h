#pragma once
// A client command as another participant's client sends it through the server (event 854), and the
// command part this client sends (request 853).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct KVRClientCommand {
    enum : int64_t {
        LectureRequest = 1,
        ChairRequest = 3,
        DocShareRequest = 4,
        BoardWriteRequest = 5,
        SpeakRequestNotice = 8,
        SpeakRequest = 9,
        AskDeviceInfo = 10,
        ChangeDevice = 11,
        DeviceInfo = 12,
        DeviceChangeReport = 13,
        ShareFileListChanged = 14,
        PrivateMessage = 15,
        Kickout = 17,
        PushToTalk = 18,
    };

    std::string senderID;
    int64_t command = 0;
    std::string data;

    // Nothing when the payload has fewer than three fields or no command part.
    static std::optional<KVRClientCommand> parse(std::string_view payload);
};
