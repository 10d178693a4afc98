#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <vector>

class QLocalServer;

namespace ombrix::ui {

// One running instance per user: a later launch hands its files to the running one over
// a local socket and exits. The message is the files' absolute paths, one per line, then
// an empty line; the receiver answers "ok" once it has taken them. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    using FilesHandler = std::function<void(const std::vector<std::filesystem::path>&)>;

    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);

    // The socket name of this user's instance.
    static QString defaultServerName();

    // True when a running instance answered and took the files (none: it is only raised).
    bool forward(const std::vector<std::filesystem::path>& files, int timeoutMs = 3000);

    // Becomes the running instance; files handed over later go to `onFiles`. False when
    // the socket cannot be made (the application then runs on its own).
    bool listen(FilesHandler onFiles);

    const QString& serverName() const { return serverName_; }

private:
    void receive();

    QString serverName_;
    QLocalServer* server_ = nullptr;
    FilesHandler onFiles_;
};

} // namespace ombrix::ui
