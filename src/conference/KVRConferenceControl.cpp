#include "conference/KVRConferenceControl.h"

#include "app/KVRGlobalData.h"
#include "control/KVRMainServer.h"

KVRMainServerControl::KVRMainServerControl(std::shared_ptr<KVRMainServer> server) : server_(std::move(server)) {}

std::shared_ptr<KVRMainServer> KVRMainServerControl::server() const {
    return server_ ? server_ : KVRGlobalData::sharedGlobalData()->mainServer();
}

bool KVRMainServerControl::setConfInfo(const std::string& confInfo) {
    auto s = server();
    return s && s->setConfInfo(confInfo);
}
bool KVRMainServerControl::sendToClient(int64_t subRoomNo, int64_t cmd, std::optional<std::string_view> data) {
    auto s = server();
    return s && s->sendToClient(subRoomNo, cmd, data);
}
bool KVRMainServerControl::sendToClientEx(const std::string& userID, int64_t cmd,
                                          std::optional<std::string_view> data) {
    auto s = server();
    return s && s->sendToClientEx(userID, cmd, data);
}
bool KVRMainServerControl::sendQuilloraLog(const std::string& record) {
    auto s = server();
    return s && s->sendQuilloraLog(record);
}
bool KVRMainServerControl::sendEnqueteRegister(const std::string& record) {
    auto s = server();
    return s && s->sendEnqueteRegister(record);
}
bool KVRMainServerControl::sendEnqueteAnswer(const std::string& record) {
    auto s = server();
    return s && s->sendEnqueteAnswer(record);
}
bool KVRMainServerControl::sendQuilloraDocLog(const std::string& record) {
    auto s = server();
    return s && s->sendQuilloraDocLog(record);
}
bool KVRMainServerControl::sendQuilloraVOD(const std::string& record) {
    auto s = server();
    return s && s->sendQuilloraVOD(record);
}
