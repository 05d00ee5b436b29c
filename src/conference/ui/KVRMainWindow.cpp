#include "conference/ui/KVRMainWindow.h"

#include "audio/ui/KVRDeviceSettingController.h"

#include <QVBoxLayout>

KVRMainWindow::KVRMainWindow(QWidget* parent) : QMainWindow(parent) {
    QMainWindow::setWindowTitle(QStringLiteral("Kelvara"));
    resize(1024, 700);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    status_ = new QLabel(central);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    QFont f = status_->font();
    f.setPointSize(f.pointSize() + 4);
    status_->setFont(f);
    layout->addWidget(status_);
    setCentralWidget(central);
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
