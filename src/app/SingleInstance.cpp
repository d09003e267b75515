#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

namespace app {

namespace {

const QByteArray kRaise = QByteArrayLiteral("raise\n");
constexpr int kConnectMs = 2000;

}  // namespace

QString InstanceName(const QString& queuePath) {
    const QByteArray path = QFileInfo(queuePath).absoluteFilePath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("ferrovant-") + QString::fromLatin1(hash.left(32));
}

SingleInstance::SingleInstance(const QString& queuePath) : name_(InstanceName(queuePath)) {
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains(kRaise.trimmed())) return;
                if (onActivation_) onActivation_();
            });
        }
    });
}

void SingleInstance::OnActivationAsked(std::function<void()> handler) {
    onActivation_ = std::move(handler);
}

bool SingleInstance::AskRunning() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs)) return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(kConnectMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Claim() {
    // The look and the take-over happen under a lock, so two programs started
    // at once cannot both find no one and both listen.
    QLockFile lock(QDir::temp().filePath(name_ + QStringLiteral(".lock")));
    lock.setStaleLockTime(0);  // stale only when its holder is gone
    const bool locked = lock.tryLock(10 * kConnectMs);
    if (AskRunning()) return false;
    // Nobody answers: whatever socket is left belonged to a program that died.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_);
    (void)locked;
    return true;
}

}  // namespace app
