#pragma once
// The wait window shown while the client enters the room: a message and a busy indicator, kept above
// other windows.
#include <QDialog>

class QProgressBar;

class KVRWaitWindowController : public QDialog {
    Q_OBJECT
public:
    explicit KVRWaitWindowController(QWidget* parent = nullptr);
    // Shows and paints at once: the join that follows blocks the event loop while it waits for replies.
    void showWindow();
    void hideWindow();

private:
    QProgressBar* spinner_ = nullptr;
};
