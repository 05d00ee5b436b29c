#include "platform/qt/KVRQtRunLoop.h"

#include <QCoreApplication>
#include <QThread>

KVRQtRunLoop::KVRQtRunLoop(QObject* parent) : QObject(parent) {}

KVRQtRunLoop::~KVRQtRunLoop() {
    for (auto& [id, timer] : timers_) delete timer;
}

void KVRQtRunLoop::post(Task task) {
    QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

KVRRunLoop::TimerId KVRQtRunLoop::startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) {
    TimerId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    timer->setSingleShot(!repeating);
    connect(timer, &QTimer::timeout, this, [this, id, repeating, tick = std::move(tick)] {
        if (!repeating) {
            auto it = timers_.find(id);
            if (it != timers_.end()) {
                it->second->deleteLater();
                timers_.erase(it);
            }
        }
        tick();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

void KVRQtRunLoop::cancelTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();  // the tick may be running this very timer's slot
    timers_.erase(it);
}

bool KVRQtRunLoop::isMainThread() const { return QThread::currentThread() == thread(); }

void KVRQtRunLoop::quit(int exitCode) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [exitCode] { QCoreApplication::exit(exitCode); },
                              Qt::QueuedConnection);
}
