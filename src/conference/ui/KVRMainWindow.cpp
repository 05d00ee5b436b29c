#include "conference/ui/KVRMainWindow.h"

#include "audio/ui/KVRDeviceSettingController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "app/KVRGlobalData.h"
#include "app/KVRStrings.h"
#include "conference/KVRMainView.h"
#include "conference/ui/KVRConferenceWindows.h"
#include "conference/ui/KVRWaitWindowController.h"

namespace {
QString roleName(long long userType) {
    switch (userType) {
    case 100: return QObject::tr("lecturer");
    case 101: return QObject::tr("monitor");
    case 103: return QObject::tr("second lecturer");
    default: return QObject::tr("student");
    }
}
}  // namespace

KVRMainWindow::KVRMainWindow(QWidget* parent) : QMainWindow(parent) {
    QMainWindow::setWindowTitle(QStringLiteral("Kelvara"));
    resize(1024, 700);
    pages_ = new QStackedWidget(this);

    auto* waiting = new QWidget(pages_);
    auto* waitingLayout = new QVBoxLayout(waiting);
    status_ = new QLabel(waiting);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    QFont f = status_->font();
    f.setPointSize(f.pointSize() + 4);
    status_->setFont(f);
    waitingLayout->addWidget(status_);
    pages_->addWidget(waiting);

    auto* joined = new QWidget(pages_);
    auto* joinedLayout = new QVBoxLayout(joined);
    roomName_ = new QLabel(joined);
    QFont big = roomName_->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    roomName_->setFont(big);
    joinedLayout->addWidget(roomName_);
    userCount_ = new QLabel(joined);
    joinedLayout->addWidget(userCount_);
    users_ = new QListWidget(joined);
    QFont listFont = users_->font();
    listFont.setPointSize(listFont.pointSize() + 2);
    users_->setFont(listFont);
    joinedLayout->addWidget(users_, 1);
    pages_->addWidget(joined);

    setCentralWidget(pages_);
    setStatusText(tr("Waiting for the lecture's launch request…"));
}

void KVRMainWindow::setWindowTitle(const std::string& title) {
    QMainWindow::setWindowTitle(QString::fromStdString(title));
    setStatusText(tr("Lecture room \"%1\"").arg(QString::fromStdString(title)));
}

void KVRMainWindow::setStatusText(const QString& text) { status_->setText(text); }

void KVRMainWindow::runDeviceCheck() {
    KVRDeviceSettingController::runAtStartUp();
}

void KVRMainWindow::setWindowFrame(int x, int y, int width, int height) {
    // The frame is given bottom-up with y the frame's lower edge; the window keeps it on its screen.
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, width, height);
    int h = std::min(height, avail.height());
    int w = std::min(width, avail.width());
    int top = std::max(avail.top(), avail.top() + avail.height() - y - h);
    setGeometry(avail.left() + x, top, w, h);
}

int KVRMainWindow::mainScreenVisibleHeight() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().height() : 0;
}

void KVRMainWindow::showWaitWindow() {
    if (!waitWindow_) waitWindow_ = new KVRWaitWindowController(this);
    setStatusText(QString::fromStdString(KVRStrings::text("IDS_LOGINING")));
    waitWindow_->showWindow();
}

void KVRMainWindow::hideWaitWindow() {
    if (waitWindow_) waitWindow_->hideWindow();
}

void KVRMainWindow::enableMoveWindow(bool enable) {
    // Locked while an upload or a recording runs: no move, resize or close, and above other windows.
    setWindowFlag(Qt::WindowStaysOnTopHint, !enable);
    setWindowFlag(Qt::WindowCloseButtonHint, enable);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, enable);
    if (enable)
        setMinimumSize(0, 0), setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    else
        setFixedSize(size());
    show();
}

void KVRMainWindow::showJoinedState(const std::string& roomName, const std::vector<RoomUser>& users) {
    roomName_->setText(tr("In the lecture room \"%1\"").arg(QString::fromStdString(roomName)));
    userCount_->setText(tr("%n participant(s) in the room", nullptr, static_cast<int>(users.size())));
    users_->clear();
    for (const auto& u : users) {
        QString alias = QString::fromStdString(u.alias.empty() ? u.userID : u.alias);
        users_->addItem(QStringLiteral("%1  (%2, %3)").arg(alias, QString::fromStdString(u.userID), roleName(u.userType)));
    }
    pages_->setCurrentIndex(1);
}

void KVRMainWindow::connectFailed() {
    setStatusText(QString::fromStdString(KVRStrings::text("IDS_FAILED_CONNECT")));
}

KVRMainWindow::~KVRMainWindow() = default;

void KVRMainWindow::didInitWork() {
    // The dispatcher exists now: the owner-absent window and the owner change dialog register with it.
    conferenceWindows_ =
        std::make_unique<KVRConferenceWindows>(KVRGlobalData::sharedGlobalData()->conferenceEventHandler(), this);
}

void KVRMainWindow::willTerminate(int) {
    terminating_ = true;
    hideWaitWindow();
}

void KVRMainWindow::closeEvent(QCloseEvent* event) {
    // The close button goes through the leave sequence; the window goes when the program ends.
    if (terminating_ || !mainView_) {
        event->accept();
        return;
    }
    event->ignore();
    mainView_->AppCloseEx();
}

void KVRMainWindow::keyPressEvent(QKeyEvent* event) {
    if (mainView_ && event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier) && !event->isAutoRepeat()) {
        mainView_->pushTalkHotKey(true);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void KVRMainWindow::keyReleaseEvent(QKeyEvent* event) {
    if (mainView_ && event->key() == Qt::Key_A && !event->isAutoRepeat()) {
        mainView_->pushTalkHotKey(false);
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}
