#pragma once
// The live state of the room: owner, chair, speaker, controllers, conference mode, screen type, remote
// control, enlarged video, board zoom, chat switch, poll value, and the ID sets that allow video, voice,
// drawing and chat. One client publishes it whole; the others receive it as an alarm and parse it here.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class KVRCurrentConferenceInfo {
public:
    using IDSet = std::set<std::string>;

    KVRCurrentConferenceInfo() = default;
    // A snapshot of another state (the scratch copy an alarm is compared against).
    KVRCurrentConferenceInfo(const KVRCurrentConferenceInfo& other);
    KVRCurrentConferenceInfo& operator=(const KVRCurrentConferenceInfo&) = delete;

    // Entries. Text getters give an empty text for a missing entry.
    int64_t getSubRoomNo() const;
    void setSubRoomNo(int64_t roomNo);
    std::string getOwnerID() const;
    void setOwnerID(const std::string& id);
    std::string getAdminID() const;
    void setAdminID(const std::string& id);
    std::string getSpeakerID() const;
    void setSpeakerID(const std::string& id);
    std::string getDocCtrlID() const;
    void setDocCtrlID(const std::string& id);
    std::string getUrlCtrlID() const;
    void setUrlCtrlID(const std::string& id);
    int64_t getConfMode() const;
    void setConfMode(int64_t mode);
    std::string getScreenType() const;
    void setScreenType(const std::string& type);
    std::string getRtcHostID() const;
    void setRtcHostID(const std::string& id);
    std::string getRtcRun() const;
    void setRtcRun(const std::string& run);
    std::string getRtcCtrlID() const;
    void setRtcCtrlID(const std::string& id);
    std::string getEnlargeVideoID() const;
    void setEnlargeVideoID(const std::string& id);
    std::string getBoardZoom() const;
    void setBoardZoom(const std::string& zoom);
    std::string getChatOnOff() const;
    void setChatOnOff(const std::string& onOff);
    std::string getExtraValue() const;
    void setExtraValue(const std::string& value);
    // Split a block at "|" and set its parts in order, as far as present: host, run, controller /
    // enlarged video, board zoom, chat switch, poll value.
    void setRTCInfo(std::string_view block);
    void setETCInfo(std::string_view block);

    // Empty the set and add every non-empty "|" piece.
    void setVideoIDs(std::string_view ids);
    void setAudioIDs(std::string_view ids);
    void setDocIDs(std::string_view ids);
    void setChatIDs(std::string_view ids);
    size_t getVideoUserCount() const;
    size_t getAudioUserCount() const;
    size_t getDocUserCount() const;
    size_t getChatUserCount() const;
    std::vector<std::string> allKeysAudioIDs() const;
    bool isHasVideoPermission(const std::string& userID) const;
    bool isHasAudioPermission(const std::string& userID) const;
    bool isHasDocPermission(const std::string& userID) const;
    IDSet dicVideoIDs() const;
    IDSet dicAudioIDs() const;
    IDSet dicDocIDs() const;
    IDSet dicChatIDs() const;
    std::map<std::string, std::string> dicCurrConfInfo() const;

    int64_t getClassConfMode() const;
    void setClassConfMode(int64_t mode);
    int64_t getClassScreenType() const;
    void setClassScreenType(int64_t type);

    bool isChatOn() const;
    bool toggleChatOnOff();
    // "extravalue" as an integer; -1 when missing.
    int64_t getEnqueteValue() const;

    // Board zoom values by index 0 to 13; a value outside the list maps to index 0.
    static const std::vector<std::string>& zoomValues();
    static int zoomIndexFromValue(std::string_view value);
    int zoomIndexFromValue() const;
    // Sets the zoom to the value of that index; other indexes change nothing (false).
    bool setZoomValueByIndex(int64_t index);

    void setPressedAudioSendKey(bool pressed);
    bool isPressedAudioSendKey() const;

    // Reads a reply to the state query (isAlarm false) or a state alarm (isAlarm true). A text that is
    // rejected (too few fields, not UTF-8) changes nothing and returns false.
    bool setCurrConfInfo(std::string_view payload, bool isAlarm);
    // The state text this client publishes: 13 fields separated by 0x01, ended by 0x02.
    std::string getInfo() const;

    // What the server makes of a published text: the reply to the state query (the published fields
    // without the sub-room number) and the alarm sent to the other members (the sender's ID, a reserved
    // empty field, then the published fields). Nothing when the published text is malformed.
    static std::optional<std::string> replyLayoutFromPublished(std::string_view published);
    static std::optional<std::string> alarmLayoutFromPublished(std::string_view senderID, std::string_view published);

    bool changeOwner(const std::string& oldID, const std::string& newID);
    void toggleMicPermission(const std::string& userID);
    void toggleDrawingPermission(const std::string& userID);

    // Permission queries; they read the configuration, the sub-room list and the user list on every call.
    bool isClassOwner() const;
    bool isClassOwner(const std::string& userID) const;
    bool isClassAdmin() const;
    bool isClassAdmin(const std::string& userID) const;
    bool isAdmin(const std::string& userID) const;
    bool isClassMonitor() const;
    bool isClassMonitor(const std::string& userID) const;
    bool isClassCtrlPermission() const;
    bool isClassDocuemntCtrlPermission() const;
    bool isClassDocuemntDrawPermission() const;
    bool isClassLocVideoPermission() const;
    bool isClassLocAudioPermission() const;
    bool isClassWebSharePermission() const;
    bool isHasOnDemandRecordPermission() const;
    bool isHasRecordPermission() const;

    // The published text has at least this many fields; the two read layouts need 7 and 9.
    static constexpr size_t kPublishedMinimumFields = 8;
    static constexpr size_t kReplyMinimumFields = 7;
    static constexpr size_t kAlarmMinimumFields = 9;

private:
    std::optional<std::string> entry(const std::string& key) const;
    std::string text(const std::string& key) const;
    void setEntry(const std::string& key, std::string value);
    static void fillSet(IDSet& set, std::string_view ids);

    mutable std::mutex mutex_;  // read by the socket threads and the main thread
    std::map<std::string, std::string> dicCurrConfInfo_;
    IDSet dicVideoIDs_;
    IDSet dicAudioIDs_;
    IDSet dicDocIDs_;
    IDSet dicChatIDs_;
    bool _isPressedAudioSendKey = false;
};
