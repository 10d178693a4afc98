#include "ui/window/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <memory>
#include <unistd.h>

namespace ombrix::ui {

namespace {
constexpr int kReceiveTimeoutMs = 3000;
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

QString SingleInstance::defaultServerName() {
    return QStringLiteral("ombrix-pdf-%1").arg(::getuid());
}

bool SingleInstance::forward(const std::vector<std::filesystem::path>& files, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    QByteArray message;
    for (const auto& file : files) {
        message += QByteArray::fromStdString(std::filesystem::absolute(file).string()) + '\n';
    }
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // Only an answer proves the files arrived; a dead instance's socket gives none.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readLine().trimmed() == "ok";
}

bool SingleInstance::listen(FilesHandler onFiles) {
    onFiles_ = std::move(onFiles);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        // A socket file left by an instance that crashed: nobody answered forward().
        QLocalServer::removeServer(serverName_);
        if (!server_->listen(serverName_)) {
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::receive);
    return true;
}

void SingleInstance::receive() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto files = std::make_shared<std::vector<std::filesystem::path>>();
        auto done = std::make_shared<bool>(false);
        auto read = [this, socket, files, done] {
            while (!*done && socket->canReadLine()) {
                const QByteArray line = socket->readLine().chopped(1);
                if (line.isEmpty()) {
                    *done = true;
                    socket->write("ok\n");
                    socket->flush();
                    if (onFiles_) {
                        onFiles_(*files);
                    }
                } else {
                    files->emplace_back(line.toStdString());
                }
            }
        };
        connect(socket, &QLocalSocket::readyRead, socket, read);
        // A sender that never finishes its message is dropped.
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket, done] {
            if (!*done) {
                socket->abort();
            }
        });
        read();
    }
}

} // namespace ombrix::ui
