#pragma once
// What the main view's logic asks of its window. Everything but the title has a default that does
// nothing, so a headless participant implements only what it reports.
#include <string>
#include <vector>

class KVRMainViewDelegate {
public:
    struct RoomUser {
        std::string userID;
        std::string alias;
        long long userType = 0;
    };

    virtual ~KVRMainViewDelegate() = default;
    virtual void setWindowTitle(const std::string& title) = 0;
    // As the frame is stated: bottom-up, y the frame's lower edge; the window keeps itself on screen.
    virtual void setWindowFrame(int /*x*/, int /*y*/, int /*width*/, int /*height*/) {}
    // Height of the main screen's visible area; 0 when there is no main screen.
    virtual int mainScreenVisibleHeight() const { return 0; }
    // The wait window shown while the join runs.
    virtual void showWaitWindow() {}
    virtual void hideWaitWindow() {}
    virtual void showProgressIndicator(bool /*show*/) {}
    // The window can (true) or cannot (false) be moved, resized or closed; locked it floats on top.
    virtual void enableMoveWindow(bool /*enable*/) {}

    // One join step has run.
    virtual void joinStep(const std::string& /*step*/, bool /*ok*/) {}
    // The client is in the room: its name and users, sent again whenever the users change.
    virtual void showJoinedState(const std::string& /*roomName*/, const std::vector<RoomUser>& /*users*/) {}
    // The control connection could not be made; the window stays until closed by hand.
    virtual void connectFailed() {}
    // The long-lived objects exist and are registered; the join has not started.
    virtual void didInitWork() {}
    // Runs the device check dialog modally and returns once it is closed; headless: nothing to show.
    virtual void runDeviceCheck() {}
    // Right before the program ends with this code.
    virtual void willTerminate(int /*exitCode*/) {}
};
