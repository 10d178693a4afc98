#include "ui/window/SingleInstance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix::ui {

namespace {

constexpr int kReceiveTimeoutMs = 3000;
constexpr int kProbeTimeoutMs = 1000;
constexpr int kLongestKey = 64;

// The user id of the process at the other end of a connected local socket.
std::optional<uid_t> peerUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (descriptor < 0 ||
        ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

// A real folder (not a link to one) of this user's that nobody else may enter or read.
bool isPrivate(const std::filesystem::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

std::optional<std::filesystem::path> absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

// Unambiguous and safe in a file name: other bytes become _XX.
QString fileWord(const QString& text) {
    QString word;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || byte == '.' || byte == ':' || byte == '-') {
            word += QChar(byte);
        } else {
            word += QStringLiteral("_%1").arg(byte, 2, 16, QChar('0'));
        }
    }
    return word;
}

QString userOf(std::optional<uid_t> uid) {
    return uid ? QStringLiteral("user %1").arg(*uid) : QStringLiteral("an unknown user");
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent) : QObject(parent) {
    if (serverName.contains('/') || serverName.isEmpty()) {
        serverName_ = std::move(serverName);
    } else if (const auto folder = privateFolder()) {
        serverName_ = QString::fromStdString((*folder / serverName.toStdString()).string());
    }
}

QString SingleInstance::displayKey(const QString& platform, const QString& x11Display,
                                   const QString& waylandDisplay) {
    QString key;
    if (platform.startsWith(QStringLiteral("wayland"))) {
        key = "wayland-" +
              fileWord(waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : waylandDisplay);
    } else if (platform == QStringLiteral("xcb") || (platform.isEmpty() && !x11Display.isEmpty())) {
        // "host:1.0" and "host:1.1" are two screens of one display: one instance.
        QString display = x11Display;
        const qsizetype colon = display.lastIndexOf(':');
        const qsizetype dot = display.indexOf('.', colon + 1);
        if (colon >= 0 && dot > colon) {
            display.truncate(dot);
        }
        key = "x11-" + fileWord(display);
    } else {
        key = fileWord(platform.isEmpty() ? QStringLiteral("none") : platform);
    }
    if (key.size() > kLongestKey) {
        const QByteArray digest =
            QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
        key = "display-" + QString::fromLatin1(digest.toHex().left(32));
    }
    return key;
}

std::optional<std::filesystem::path> SingleInstance::privateFolder() {
    if (const auto runtime = absoluteEnv("XDG_RUNTIME_DIR"); runtime && isPrivate(*runtime)) {
        return runtime;
    }
    // The cache folder may be shared by several machines (a home on NFS), and a socket
    // only reaches processes of its own machine: one folder per host.
    std::filesystem::path cache;
    if (const auto xdg = absoluteEnv("XDG_CACHE_HOME")) {
        cache = *xdg;
    } else if (const auto home = absoluteEnv("HOME")) {
        cache = *home / ".cache";
    } else {
        return std::nullopt;
    }
    const auto base = cache / "ombrix-pdf";
    std::error_code ignored;
    std::filesystem::create_directories(base, ignored);
    const auto folder = base / ("runtime-" + fileWord(QSysInfo::machineHostName()).toStdString());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return std::nullopt;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        return std::nullopt;
    }
    return isPrivate(folder) ? std::optional(folder) : std::nullopt;
}

QString SingleInstance::defaultServerName() {
    const auto folder = privateFolder();
    if (!folder) {
        return {};
    }
    const QString platform = qApp ? QGuiApplication::platformName() : QString();
    const QString key = displayKey(platform, qEnvironmentVariable("DISPLAY"),
                                   qEnvironmentVariable("WAYLAND_DISPLAY"));
    return QString::fromStdString((*folder / ("ombrix-pdf-" + key.toStdString())).string());
}

void SingleInstance::refuse(const QString& why) {
    problem_ = why;
    logging_.warn("Running on its own: " + why.toStdString());
}

bool SingleInstance::forward(const std::vector<std::filesystem::path>& files, int timeoutMs) {
    problem_.clear();
    if (serverName_.isEmpty()) {
        refuse(QStringLiteral("there is no private folder for the instance's socket"));
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    // Whoever listens learns every file this user opens: only the user's own instance.
    const auto peer = peerUser(socket.socketDescriptor());
    if (peer != ::geteuid()) {
        socket.abort();
        refuse(QStringLiteral("the instance at %1 belongs to %2").arg(serverName_, userOf(peer)));
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
    problem_.clear();
    onFiles_ = std::move(onFiles);
    if (serverName_.isEmpty()) {
        refuse(QStringLiteral("there is no private folder for the instance's socket"));
        return false;
    }
    delete server_;
    server_ = new QLocalServer(this);
    // A plain bind: it fails on a name in use instead of renaming over it, so a live
    // listener is never displaced. The folder keeps others out.
    server_->setSocketOptions(QLocalServer::NoOptions);
    if (!server_->listen(serverName_)) {
        if (server_->serverError() != QAbstractSocket::AddressInUseError) {
            refuse(server_->errorString());
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(serverName_);
        if (probe.waitForConnected(kProbeTimeoutMs)) {
            const auto peer = peerUser(probe.socketDescriptor());
            probe.abort();
            refuse(peer == ::geteuid()
                       ? QStringLiteral("another instance listens at %1").arg(serverName_)
                       : QStringLiteral("%1 listens at %2").arg(userOf(peer), serverName_));
            return false;
        }
        // Left by an instance that died: nobody listens, so it is replaced.
        QLocalServer::removeServer(serverName_);
        if (!server_->listen(serverName_)) {
            refuse(server_->errorString());
            return false;
        }
    }
    ::chmod(QFile::encodeName(serverName_).constData(), 0600);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::receive);
    return true;
}

void SingleInstance::receive() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto peer = peerUser(socket->socketDescriptor());
        if (peer != ::geteuid()) {
            logging_.warn("Dropped a connection to the instance from " +
                          userOf(peer).toStdString());
            socket->abort();
            socket->deleteLater();
            continue;
        }
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
