#pragma once

#include "core/Logging.h"

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QLocalServer;

namespace ombrix::ui {

// One running instance per user and display: a later launch hands its files to the
// running one over a local socket and exits. The socket lives in the user's private
// runtime folder, and each side checks the other's user id before anything is sent or
// taken, so another local user can neither receive the files nor keep the window from
// appearing. The message is the files' absolute paths, one per line, then an empty line;
// the receiver answers "ok" once it has taken them. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    using FilesHandler = std::function<void(const std::vector<std::filesystem::path>&)>;

    // A name without a slash is a socket in privateFolder(); a path is used as it is.
    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);

    // The socket name of this user's instance on the display this process shows on.
    static QString defaultServerName();
    // The display as a word for a file name ("x11-:0", "wayland-wayland-0", "offscreen"):
    // screens of one X display share it; characters outside [A-Za-z0-9.:-] are escaped
    // as _XX, and a very long name is replaced by a digest of it.
    static QString displayKey(const QString& platform, const QString& x11Display,
                              const QString& waylandDisplay);
    // This user's folder for the socket: $XDG_RUNTIME_DIR when it is a real folder of
    // this user's that nobody else may enter; otherwise a folder of this host below the
    // user's cache folder, made 0700 and checked the same way. None when neither holds
    // (never the shared temporary folder).
    static std::optional<std::filesystem::path> privateFolder();

    // True when a running instance of this user answered and took the files (none: it is
    // only raised). False when there is none, or when the one listening belongs to
    // another user: then nothing was sent and this launch must run on its own.
    bool forward(const std::vector<std::filesystem::path>& files, int timeoutMs = 3000);

    // Becomes the running instance; files handed over later go to `onFiles`, from this
    // user's launches only. A socket file nobody listens on is replaced. False when the
    // socket cannot be made, or someone else listens on it (the application then runs on
    // its own).
    bool listen(FilesHandler onFiles);

    // The full socket path; empty when no private folder could be had.
    const QString& serverName() const { return serverName_; }
    // Why the last forward() or listen() left this launch on its own; empty otherwise.
    const QString& problem() const { return problem_; }

private:
    void receive();
    void refuse(const QString& why);

    QString serverName_;
    QString problem_;
    QLocalServer* server_ = nullptr;
    FilesHandler onFiles_;
    Logging logging_{Logging::kSubsystem, "instance"};
};

} // namespace ombrix::ui
