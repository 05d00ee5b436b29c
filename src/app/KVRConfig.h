#pragma once
// The configuration store: the launch parameters under three-letter keys, the product type, the user
// type, and the server clock gap. Filled only by launch requests.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class KVRConfig {
public:
    KVRConfig();

    // Writing side.
    bool setWebData(const std::string& text);
    bool setData(const std::string& text);
    bool isValidParameter() const;

    // Reading side.
    int64_t productType() const { return _productType; }
    std::optional<std::string> stringValue(const std::string& key) const;
    int64_t integerValue(const std::string& key) const;
    int64_t getUserType() const;
    int64_t getUserTypeQuillora() const;
    bool isHasEnqueteCtrlPermission() const;
    bool isMyID(const std::string& identifier) const;

    void setServerTime(const std::string& text);
    double timeGapBetweenServerAndLocal() const;
    std::chrono::system_clock::time_point serverTime() const;

    void setLLEventUploadServerInfo(const std::string& ip, int64_t port);
    std::string llEventUploadServerIP() const;
    int64_t llEventUploadServerPort() const;

    // Product file reading, run once at creation; public so tests can point it at a file.
    void getKVRCCpnfig(const std::string& productFilePath);

    // The raw table (tests and diagnostics).
    std::map<std::string, std::string> arrConfig() const;

    static int64_t userTypeForRoleCode(int64_t roleCode);

private:
    mutable std::mutex mutex_;  // a later launch request may replace the table while other threads read
    int64_t _productType = 2;
    std::map<std::string, std::string> arrConfig_;
    std::chrono::system_clock::time_point _serverTime{};
    double _timeGapBetweenServerAndLocal = 0;
    bool _isValidParameter = false;
    std::string _llEnevtUploadServerIP;
    int64_t _llEventUploadServerPort = 0;
};
