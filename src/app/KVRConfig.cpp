#include "app/KVRConfig.h"

#include <fstream>
#include <sstream>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRResources.h"
#include "app/KVRTextSplit.h"
#include "app/KVRWebParameterParser.h"

KVRConfig::KVRConfig() { getKVRCCpnfig(kvr::resourcePath("kvrcinfo.txt")); }

void KVRConfig::getKVRCCpnfig(const std::string& productFilePath) {
    std::lock_guard lock(mutex_);
    _isValidParameter = false;
    _productType = 2;
    std::ifstream in(productFilePath, std::ios::binary);
    if (!in) return;
    std::stringstream ss;
    ss << in.rdbuf();
    for (const auto& line : kvr::split(ss.str(), "\n")) {
        if (line.size() <= 3) continue;
        auto parts = kvr::split(line, "=");
        if (parts.size() >= 2 && parts[0] == "producttype") _productType = kvr::leadingInteger(parts[1]);
    }
}

bool KVRConfig::setWebData(const std::string& text) {
    auto normalized = KVRWebParameterParser::parsing(text);
    if (!normalized) {
        KVRLog("Invalid Web Parameter : %s", text.c_str());
        return false;
    }
    return setData(*normalized);
}

bool KVRConfig::setData(const std::string& text) {
    std::lock_guard lock(mutex_);
    arrConfig_.clear();
    for (const auto& piece : kvr::split(text, " /")) {
        if (piece.size() <= 3) continue;
        arrConfig_[piece.substr(0, 3)] = piece.size() > 4 ? piece.substr(4) : std::string();
    }
    _isValidParameter = true;
    return true;
}

bool KVRConfig::isValidParameter() const {
    std::lock_guard lock(mutex_);
    return _isValidParameter;
}

std::optional<std::string> KVRConfig::stringValue(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = arrConfig_.find(key);
    if (it == arrConfig_.end()) return std::nullopt;
    std::string v = kvr::trim(it->second);
    if (v.empty()) return std::nullopt;
    return v;
}

int64_t KVRConfig::integerValue(const std::string& key) const {
    auto v = stringValue(key);
    return v ? kvr::leadingInteger(*v) : 0;
}

int64_t KVRConfig::userTypeForRoleCode(int64_t roleCode) {
    switch (roleCode) {
        case 1: return 100;
        case 2: return 101;
        case 4: return 103;
        default: return 0;
    }
}

int64_t KVRConfig::getUserType() const { return productType() == 2 ? getUserTypeQuillora() : 0; }

int64_t KVRConfig::getUserTypeQuillora() const { return userTypeForRoleCode(integerValue("NTP")); }

bool KVRConfig::isHasEnqueteCtrlPermission() const {
    auto t = getUserType();
    return t == 100 || t == 103;
}

bool KVRConfig::isMyID(const std::string& identifier) const {
    auto uid = stringValue("UID");
    return uid && *uid == identifier;
}

void KVRConfig::setServerTime(const std::string& text) {
    auto now = std::chrono::system_clock::now();
    auto parsed = KVRGlobalData::stringDateToNSDate(text);
    auto server = parsed.value_or(now);
    std::lock_guard lock(mutex_);
    _serverTime = server;
    _timeGapBetweenServerAndLocal = std::chrono::duration<double>(server - now).count();
}

double KVRConfig::timeGapBetweenServerAndLocal() const {
    std::lock_guard lock(mutex_);
    return _timeGapBetweenServerAndLocal;
}

std::chrono::system_clock::time_point KVRConfig::serverTime() const {
    std::lock_guard lock(mutex_);
    return _serverTime;
}

void KVRConfig::setLLEventUploadServerInfo(const std::string& ip, int64_t port) {
    std::lock_guard lock(mutex_);
    _llEnevtUploadServerIP = ip;
    _llEventUploadServerPort = port;
}

std::string KVRConfig::llEventUploadServerIP() const {
    std::lock_guard lock(mutex_);
    return _llEnevtUploadServerIP;
}

int64_t KVRConfig::llEventUploadServerPort() const {
    std::lock_guard lock(mutex_);
    return _llEventUploadServerPort;
}

std::map<std::string, std::string> KVRConfig::arrConfig() const {
    std::lock_guard lock(mutex_);
    return arrConfig_;
}
