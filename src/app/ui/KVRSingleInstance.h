#pragma once
// One client per user session: a second start hands its launch URL to the running client over a local
// socket and exits; the running client treats it as a later URL-open request.
#include <QLocalServer>
#include <QObject>
#include <functional>

class KVRSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit KVRSingleInstance(QString name, QObject* parent = nullptr);
    static QString defaultName();

    // True when a running client took the URL.
    bool forwardToRunning(const QString& url, int timeoutMs = 2000);
    // Starts listening; every URL received is passed to `onUrl` on the GUI thread.
    bool listen(std::function<void(const QString&)> onUrl);

private:
    QString name_;
    QLocalServer server_;
    std::function<void(const QString&)> onUrl_;
};
