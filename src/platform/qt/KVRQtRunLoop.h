#pragma once
// The run loop of the application: the Qt event loop of the GUI thread.
#include <QObject>
#include <QTimer>
#include <map>

#include "platform/KVRRunLoop.h"

class KVRQtRunLoop : public QObject, public KVRRunLoop {
    Q_OBJECT
public:
    explicit KVRQtRunLoop(QObject* parent = nullptr);
    ~KVRQtRunLoop() override;

    void post(Task task) override;
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task tick) override;
    void cancelTimer(TimerId id) override;
    bool isMainThread() const override;
    void quit(int exitCode) override;

private:
    std::map<TimerId, QTimer*> timers_;
    TimerId nextId_ = 1;
};
