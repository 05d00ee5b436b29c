#pragma once
// One camera: its display name and its capture formats as "W x H" texts, in the platform's order.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class KVRCameraInfo {
public:
    void setName(const std::string& name) { name_ = name; }
    const std::string& name() const { return name_; }
    void addFormat(const std::string& format) { arrSupportefFormat.push_back(format); }
    size_t formatCount() const { return arrSupportefFormat.size(); }
    std::optional<std::string> format(size_t index) const;
    // Height in the upper 16 bits, width in the lower 16; 0 when the text does not split into two parts.
    uint32_t formatWORD(size_t index) const;

    // "W x H" split on "x" with leading blanks skipped; nothing when it does not split into two parts.
    static std::optional<std::pair<int64_t, int64_t>> parseFormat(const std::string& text);

private:
    std::string name_;
    std::vector<std::string> arrSupportefFormat;
};
