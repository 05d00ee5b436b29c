#pragma once
// The client's main window: the frame the room view lives in. Until the room view exists it shows the
// room's name and its participants once the client is in.
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QStackedWidget>
#include <memory>

#include "conference/KVRMainViewDelegate.h"

class KVRConferenceWindows;
class KVRMainView;
class KVRWaitWindowController;

class KVRMainWindow : public QMainWindow, public KVRMainViewDelegate {
    Q_OBJECT
public:
    explicit KVRMainWindow(QWidget* parent = nullptr);
    ~KVRMainWindow() override;

    // The logic the close button and the push-to-talk keys go to; not owned.
    void setMainView(KVRMainView* view) { mainView_ = view; }

    void setWindowTitle(const std::string& title) override;
    // The device check dialog, modal; skipped without an interactive display or when not wanted.
    void runDeviceCheck() override;
    void setWindowFrame(int x, int y, int width, int height) override;
    int mainScreenVisibleHeight() const override;
    void showWaitWindow() override;
    void hideWaitWindow() override;
    void enableMoveWindow(bool enable) override;
    void showJoinedState(const std::string& roomName, const std::vector<RoomUser>& users) override;
    void connectFailed() override;
    void willTerminate(int exitCode) override;
    void didInitWork() override;

    void setStatusText(const QString& text);
    QListWidget* userList() const { return users_; }
    KVRWaitWindowController* waitWindow() const { return waitWindow_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    KVRMainView* mainView_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* roomName_ = nullptr;
    QLabel* userCount_ = nullptr;
    QListWidget* users_ = nullptr;
    KVRWaitWindowController* waitWindow_ = nullptr;
    bool terminating_ = false;
    std::unique_ptr<KVRConferenceWindows> conferenceWindows_;
};
