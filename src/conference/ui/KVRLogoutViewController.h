#pragma once
// The owner-absent window: the count-down until the lecture closes while the room's owner is away.
// The count-down itself lives in KVRLogoutInfo; this window only shows it and carries its OK button.
#include <QWidget>

#include "conference/KVRLogoutInfo.h"

class QLabel;
class QPushButton;

class KVRLogoutViewController : public QWidget, public KVRLogoutWindowDelegate {
    Q_OBJECT
public:
    // `logic` may be null until the dispatcher exists; the OK button then only closes the window.
    explicit KVRLogoutViewController(KVRLogoutInfo* logic = nullptr, QWidget* parent = nullptr);

    void setLogic(KVRLogoutInfo* logic) { logic_ = logic; }

    // KVRLogoutWindowDelegate.
    void showLogoutWindow(const std::string& title) override;
    void setLogoutText(const std::string& text) override;
    void closeLogoutWindow() override;

    QString infoText() const;
    QPushButton* okButton() const { return _buttonOK; }

protected:
    // While the count-down runs the window cannot be closed away; OK is the way out.
    void closeEvent(QCloseEvent* event) override;

private:
    void buttonOK();

    KVRLogoutInfo* logic_ = nullptr;
    QLabel* _textFieldInfo = nullptr;
    QPushButton* _buttonOK = nullptr;
    bool closingByLogic_ = false;
};
