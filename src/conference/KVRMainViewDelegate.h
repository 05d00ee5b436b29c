#pragma once
// What the main view's logic asks of its window.
#include <string>

class KVRMainViewDelegate {
public:
    virtual ~KVRMainViewDelegate() = default;
    virtual void setWindowTitle(const std::string& title) = 0;
};
