#pragma once
// The control requests the dispatcher, the client commands and the portal log send. KVRMainServer does
// them for real (KVRMainServerControl); tests record them with a fake.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class KVRMainServer;

class KVRConferenceControl {
public:
    virtual ~KVRConferenceControl() = default;
    virtual bool setConfInfo(const std::string& confInfo) = 0;
    virtual bool sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data) = 0;
    virtual bool sendToClientEx(const std::string& userID, int64_t cmd, std::optional<std::string_view> data) = 0;
    // Learning-portal records: requests 893, 894, 895, 896 and 1100.
    virtual bool sendQuilloraLog(const std::string& record) = 0;
    virtual bool sendEnqueteRegister(const std::string& record) = 0;
    virtual bool sendEnqueteAnswer(const std::string& record) = 0;
    virtual bool sendQuilloraDocLog(const std::string& record) = 0;
    virtual bool sendQuilloraVOD(const std::string& record) = 0;
};

// The real transport: forwards to the registry's control client, or to the one given.
class KVRMainServerControl : public KVRConferenceControl {
public:
    explicit KVRMainServerControl(std::shared_ptr<KVRMainServer> server = nullptr);
    bool setConfInfo(const std::string& confInfo) override;
    bool sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data) override;
    bool sendToClientEx(const std::string& userID, int64_t cmd, std::optional<std::string_view> data) override;
    bool sendQuilloraLog(const std::string& record) override;
    bool sendEnqueteRegister(const std::string& record) override;
    bool sendEnqueteAnswer(const std::string& record) override;
    bool sendQuilloraDocLog(const std::string& record) override;
    bool sendQuilloraVOD(const std::string& record) override;

private:
    std::shared_ptr<KVRMainServer> server() const;
    std::shared_ptr<KVRMainServer> server_;
};
