#include "app/ui/KVRSingleInstance.h"

#include <unistd.h>

#include <QLocalSocket>

namespace {
constexpr qint64 kMaxUrlBytes = 64 * 1024;  // a launch URL is short; anything longer is not one
}

KVRSingleInstance::KVRSingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

QString KVRSingleInstance::defaultName() { return QStringLiteral("kelvara-%1").arg(::getuid()); }

bool KVRSingleInstance::forwardToRunning(const QString& url, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray bytes = url.toUtf8();
    bytes.append('\n');
    socket.write(bytes);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    return true;
}

bool KVRSingleInstance::listen(std::function<void(const QString&)> onUrl) {
    onUrl_ = std::move(onUrl);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name_)) {
        // A stale socket file left by a client that crashed: no one answers on it, so take it over.
        QLocalServer::removeServer(name_);
        if (!server_.listen(name_)) return false;
    }
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (socket->bytesAvailable() > kMaxUrlBytes) {
                    qWarning("kelvara: launch hand-over larger than %lld bytes dropped", kMaxUrlBytes);
                    socket->abort();
                    return;
                }
                while (socket->canReadLine()) {
                    QString url = QString::fromUtf8(socket->readLine()).trimmed();
                    if (!url.isEmpty() && onUrl_) onUrl_(url);
                }
            });
        }
    });
    return true;
}
