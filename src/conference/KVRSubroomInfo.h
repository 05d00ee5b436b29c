#pragma once
// One sub-room record as the server delivers it (at least 11 fields separated by 0x01), and its writer,
// which the development server uses so that both sides read and write the same layout.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class KVRSubroomInfo {
public:
    // The record's fields, in their order.
    struct Data {
        bool _selected = false;
        int64_t _roomno = 0;
        std::string _ownerID;
        std::string _captainID;
        std::string _regDate;
        std::string _name;
        std::string _password;
        std::string _picturePath;
        int64_t _roomStyle = 0;
        int64_t _roomType = 0;
        int64_t _maxUserCount = 0;
        int64_t _currentUserCount = 0;
    };

    static constexpr size_t kMinimumFields = 11;

    KVRSubroomInfo() = default;
    explicit KVRSubroomInfo(Data data) : data_(std::move(data)) {}
    KVRSubroomInfo(const KVRSubroomInfo&) = delete;
    KVRSubroomInfo& operator=(const KVRSubroomInfo&) = delete;

    // Parses one record (the text up to its first 0x02); nothing for a short or non-UTF-8 record. The
    // selection flag is not part of the text and stays false.
    static std::optional<Data> parse(std::string_view text);
    // The record text: 11 fields separated by 0x01, without a terminator. Separator characters inside a
    // field are removed so that a name can never shift the fields.
    static std::string toRecord(const Data& data);

    // Replaces every text field from the record; true when it has at least 11 fields. A rejected text
    // changes nothing. The selection flag is kept.
    bool setData(std::string_view text);
    std::string toRecord() const;
    Data data() const;

    int64_t roomno() const;
    std::string name() const;
    std::string ownerID() const;
    void setOwnerID(const std::string& ownerID);
    int64_t maxUserCount() const;
    void setMaxUserCount(int64_t count);
    int64_t currentUserCount() const;
    // Adds the offset to the current user count.
    void updateUserCount(int64_t offset);
    bool isSelected() const;
    void setSelected(bool selected);

private:
    mutable std::mutex mutex_;  // the record is reachable from the socket threads and the main thread
    Data data_;
};
