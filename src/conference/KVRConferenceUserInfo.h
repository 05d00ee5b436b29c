#pragma once
// One participant's record as the server delivers it (at least 17 fields separated by 0x01), and its
// writer, which the development server uses so that both sides read and write the same layout.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class KVRConferenceUserInfo {
public:
    // The record's fields, in their order.
    struct Data {
        std::string _userID;
        std::string _alias;
        int64_t _gender = 0;
        int64_t _camStatus = 0;
        int64_t _micStatus = 0;
        int64_t _loginStatus = 0;
        int64_t _userStatus = 0;
        int64_t _ctrlStatus = 0;
        int64_t _userType = 0;
        std::string _loginTime;
        std::string _localIP;
        std::string _gatewayIP;
        std::string _natIP;
        int64_t _natPort = 0;
    };

    static constexpr size_t kMinimumFields = 17;

    KVRConferenceUserInfo() = default;
    explicit KVRConferenceUserInfo(Data data) : data_(std::move(data)) {}
    KVRConferenceUserInfo(const KVRConferenceUserInfo&) = delete;
    KVRConferenceUserInfo& operator=(const KVRConferenceUserInfo&) = delete;

    // Parses one record (the text up to its first 0x02); nothing for a record of fewer than 17 fields,
    // one without a user ID, or one that is not UTF-8.
    static std::optional<Data> parse(std::string_view text);
    // The 17-field record text without a terminator; camera and microphone as "Y" (status 1) or "N", the
    // unread fields 8, 14 and 15 empty. Separator characters inside a field are removed.
    static std::string toRecord(const Data& data);

    // A record made from a text; null when it does not parse.
    static std::shared_ptr<KVRConferenceUserInfo> initWithData(std::string_view text);
    // Replaces the record from the text; true when it parsed. A rejected text changes nothing.
    bool setData(std::string_view text);
    std::string toRecord() const;
    Data data() const;

    std::string userID() const;
    std::string alias() const;
    int64_t userType() const;
    int64_t camStatus() const;
    int64_t micStatus() const;

private:
    mutable std::mutex mutex_;  // the record is reachable from the socket threads and the main thread
    Data data_;
};
