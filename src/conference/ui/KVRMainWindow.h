#pragma once
// The client's main window: the frame the room view lives in.
#include <QLabel>
#include <QMainWindow>

#include "conference/KVRMainViewDelegate.h"

class KVRMainWindow : public QMainWindow, public KVRMainViewDelegate {
    Q_OBJECT
public:
    explicit KVRMainWindow(QWidget* parent = nullptr);

    void setWindowTitle(const std::string& title) override;
    // The device check dialog, modal; skipped without an interactive display or when not wanted.
    void runDeviceCheck() override;
    void setStatusText(const QString& text);

private:
    QLabel* status_ = nullptr;
};
