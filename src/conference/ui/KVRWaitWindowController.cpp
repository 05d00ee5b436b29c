#include "conference/ui/KVRWaitWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/KVRStrings.h"

KVRWaitWindowController::KVRWaitWindowController(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("WaitWindowController"));
    setWindowTitle(QString::fromStdString(KVRStrings::text("IDS_LECTURER_LIST")));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* message = new QLabel(QString::fromStdString(KVRStrings::text("IDS_LOGINING")), this);
    message->setAlignment(Qt::AlignCenter);
    layout->addWidget(message);
    spinner_ = new QProgressBar(this);
    spinner_->setRange(0, 0);  // busy: no known end
    spinner_->setTextVisible(false);
    layout->addWidget(spinner_);
    setFixedSize(320, 110);
}

void KVRWaitWindowController::showWindow() {
    if (parentWidget()) {
        QRect p = parentWidget()->geometry();
        move(p.center() - rect().center());
    }
    show();
    raise();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void KVRWaitWindowController::hideWindow() { hide(); }
