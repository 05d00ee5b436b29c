#include "conference/ui/KVRLogoutViewController.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/KVRStrings.h"

KVRLogoutViewController::KVRLogoutViewController(KVRLogoutInfo* logic, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      logic_(logic) {
    setObjectName(QStringLiteral("LogoutInfoView"));
    _textFieldInfo = new QLabel(this);
    _textFieldInfo->setWordWrap(true);
    _textFieldInfo->setAlignment(Qt::AlignCenter);
    _textFieldInfo->setMinimumWidth(320);
    _buttonOK = new QPushButton(QString::fromStdString(KVRStrings::text("IDS_OK")), this);
    _buttonOK->setDefault(true);
    connect(_buttonOK, &QPushButton::clicked, this, [this] { buttonOK(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(_buttonOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_textFieldInfo);
    layout->addLayout(buttons);
}

void KVRLogoutViewController::showLogoutWindow(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
    show();
    raise();
    activateWindow();
}

void KVRLogoutViewController::setLogoutText(const std::string& text) {
    _textFieldInfo->setText(QString::fromStdString(text));
}

QString KVRLogoutViewController::infoText() const { return _textFieldInfo->text(); }

void KVRLogoutViewController::closeLogoutWindow() {
    closingByLogic_ = true;
    close();
    closingByLogic_ = false;
}

void KVRLogoutViewController::buttonOK() {
    if (logic_) {
        logic_->buttonOK();  // stops the count-down, closes this window, ends the program
    } else {
        closeLogoutWindow();
    }
}

void KVRLogoutViewController::closeEvent(QCloseEvent* event) {
    if (!closingByLogic_ && logic_ && logic_->isStarted()) {
        // Hidden, the count-down would still end the lecture without warning: the window stays.
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
