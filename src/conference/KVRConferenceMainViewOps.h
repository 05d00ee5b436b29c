#pragma once
// What the dispatcher asks of the main view: the close paths and the error and progress presentation.
// The main view's logic implements it; the dispatcher calls it on the main thread only.
#include <string>

class KVRConferenceMainViewOps {
public:
    virtual ~KVRConferenceMainViewOps() = default;
    // Leaves the room (upload, exit) and ends the program.
    virtual void AppClose() = 0;
    // Ends the program at once, without the leave sequence.
    virtual void AppCloseEx() = 0;
    // Shows the text, then leaves and ends the program.
    virtual void criticalError(const std::string& text) = 0;
    // Shows the text only.
    virtual void waringError(const std::string& text) = 0;
    virtual void startProgressIndicator() = 0;
    virtual void stopProgressIndicator() = 0;
};
