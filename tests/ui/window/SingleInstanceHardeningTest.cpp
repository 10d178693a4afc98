// The single-instance socket against another local user: a listener of someone else's
// learns nothing and does not keep the launch from running; a sender of someone else's is
// dropped; the socket lives in the user's private runtime folder, one per display.
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/InstanceLaunch.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/SingleInstance.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QUuid>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ombrix;
using ombrix::uitest::forwardFromAnotherLaunch;
using ombrix::uitest::freshInstanceName;

namespace {

constexpr uid_t kOtherUser = 54321;

// A folder anyone may create files in, like the shared temporary folder.
struct SharedFolder {
    SharedFolder() {
        char pattern[] = "/tmp/ombrix-shared-XXXXXX";
        path = ::mkdtemp(pattern);
        ::chmod(path.c_str(), 01777);
    }
    ~SharedFolder() { std::filesystem::remove_all(path); }
    QString socket(const QString& name) const {
        return QString::fromStdString((path / name.toStdString()).string());
    }
    std::filesystem::path path;
};

// Runs `body` as another user in a child process; it reports a number through a pipe.
// Only system calls in the child: the parent has threads.
struct OtherUser {
    template <typename Body> explicit OtherUser(Body body) {
        int toParent[2];
        int toChild[2];
        if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(toParent[0]);
            ::close(toChild[1]);
            long result = -100;
            if (::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0) {
                result = body(toParent[1], toChild[0]);
            }
            (void)!::write(toParent[1], &result, sizeof result);
            ::_exit(0);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        fromChild = toParent[0];
        stop = toChild[1];
    }
    ~OtherUser() {
        if (pid > 0) {
            ::close(stop);
            ::waitpid(pid, nullptr, 0);
            ::close(fromChild);
        }
    }
    // The next byte (a "ready" mark) or the result the child ends with.
    bool readyWithin(int ms) const {
        pollfd fd{fromChild, POLLIN, 0};
        char mark = 0;
        return ::poll(&fd, 1, ms) == 1 && ::read(fromChild, &mark, 1) == 1 && mark == 'r';
    }
    long result() {
        ::close(stop); // tells a waiting child to finish
        stop = -1;
        long value = -200;
        pollfd fd{fromChild, POLLIN, 0};
        if (::poll(&fd, 1, 10000) == 1 && ::read(fromChild, &value, sizeof value) != sizeof value) {
            value = -300;
        }
        ::waitpid(pid, nullptr, 0);
        ::close(fromChild);
        pid = -1;
        return value;
    }
    bool exited() const { return ::waitpid(pid, nullptr, WNOHANG) == pid; }

    pid_t pid = -1;
    int fromChild = -1;
    int stop = -1;
};

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), std::min<size_t>(bytes.size(), 107));
    return address;
}

} // namespace

class SingleInstanceHardeningTest : public QObject {
    Q_OBJECT
    testing::TempDir home;
    std::filesystem::path runtime;

private slots:
    void initTestCase() {
        runtime = home / "run";
        std::filesystem::create_directory(runtime);
        ::chmod(runtime.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(runtime.string())));
        qputenv("XDG_CACHE_HOME",
                QFile::encodeName(QString::fromStdString((home / "cache").string())));
    }

    void aListenerOfAnotherUserLearnsNothingAndTheLaunchRunsAlone() {
        if (::geteuid() != 0) {
            QSKIP("needs root to run a listener as another user");
        }
        SharedFolder shared;
        const QString name = shared.socket("ombrix-pdf-x11-:0");
        const sockaddr_un address = addressOf(name);
        // Listens first at the name and counts every byte anyone sends it.
        OtherUser squatter([address](int ready, int stop) -> long {
            const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(server, 8) != 0) {
                return -1;
            }
            (void)!::write(ready, "r", 1);
            long received = 0;
            for (;;) {
                pollfd fds[2] = {{server, POLLIN, 0}, {stop, POLLIN, 0}};
                if (::poll(fds, 2, 8000) <= 0 || (fds[1].revents != 0)) {
                    return received;
                }
                const int client = ::accept(server, nullptr, nullptr);
                timeval wait{1, 0};
                ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
                char buffer[4096];
                ssize_t n;
                while ((n = ::read(client, buffer, sizeof buffer)) > 0) {
                    received += n;
                }
                ::close(client);
            }
        });
        QVERIFY(squatter.readyWithin(5000));

        ui::SingleInstance launch(name);
        QVERIFY(!launch.forward({"/home/victim/private/contract.pdf"}, 2000));
        const QString refused = launch.problem();
        // It does not take over the name of a live listener either: it runs on its own.
        QVERIFY(!launch.listen([](const auto&) {}));
        QVERIFY(QFileInfo::exists(name));
        QCOMPARE(squatter.result(), 0L); // bytes it was sent
        QVERIFY2(refused.contains("54321"), qPrintable(refused));
        QVERIFY2(launch.problem().contains("54321"), qPrintable(launch.problem()));
    }

    void aSenderOfAnotherUserIsDroppedBeforeItsFilesAreTaken() {
        if (::geteuid() != 0) {
            QSKIP("needs root to connect as another user");
        }
        SharedFolder shared;
        ui::SingleInstance running(shared.socket(freshInstanceName()));
        std::vector<std::filesystem::path> received;
        bool called = false;
        QVERIFY(running.listen([&](const auto& files) {
            called = true;
            received = files;
        }));
        // As if the folder let others in: only the user check stands in the way.
        ::chmod(QFile::encodeName(running.serverName()).constData(), 0666);
        const sockaddr_un address = addressOf(running.serverName());
        OtherUser intruder([address](int, int) -> long {
            const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                0) {
                return -1;
            }
            const char message[] = "/etc/shadow\n\n";
            (void)!::write(client, message, sizeof message - 1);
            pollfd fd{client, POLLIN, 0};
            long answered = 0;
            char buffer[64];
            ssize_t n;
            while (::poll(&fd, 1, 3000) == 1 && (n = ::read(client, buffer, sizeof buffer)) > 0) {
                answered += n;
            }
            return answered;
        });
        QVERIFY(uitest::waitUntil([&] { return intruder.exited(); }, 10000));
        QCOMPARE(intruder.result(), 0L); // connected (not -1), and no "ok"
        QVERIFY(!called);
        QVERIFY(received.empty());
    }

    void theSameUsersHandoverWorksThroughThePrivateFolderOverAStaleSocket() {
        const QString name = ui::SingleInstance::defaultServerName();
        QVERIFY2(name.startsWith(QString::fromStdString(runtime.string()) + "/"), qPrintable(name));
        ui::SingleInstance running;
        // An instance killed without cleaning up left a bound socket file behind.
        const sockaddr_un address = addressOf(running.serverName());
        const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(dead, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(dead);
        QVERIFY(!forwardFromAnotherLaunch(running.serverName(), {"/tmp/a.pdf"}));
        std::vector<std::filesystem::path> received;
        QVERIFY(running.listen([&](const auto& files) { received = files; }));
        QVERIFY(forwardFromAnotherLaunch(running.serverName(), {"/tmp/a.pdf", "/tmp/b c.pdf"}));
        QCOMPARE(received.size(), std::size_t(2));
        QCOMPARE(received[1], std::filesystem::path("/tmp/b c.pdf"));
        // A second instance of the same user on the same display does not displace it.
        ui::SingleInstance rival;
        QVERIFY(!rival.listen([](const auto&) {}));
        QVERIFY(forwardFromAnotherLaunch(running.serverName(), {"/tmp/c.pdf"}));
        QCOMPARE(received, std::vector<std::filesystem::path>{"/tmp/c.pdf"});
    }

    void theRuntimeFolderMustBeTheUsersOwnAndClosedToOthers() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        const auto open = home / "open-run";
        std::filesystem::create_directory(open);
        ::chmod(open.c_str(), 0777);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(open.string())));
        auto folder = ui::SingleInstance::privateFolder();
        QVERIFY(folder);
        QVERIFY(*folder != open);
        // The fallback is below the user's cache folder, never the shared temporary one.
        QVERIFY(folder->string().starts_with((home / "cache" / "ombrix-pdf").string()));
        QVERIFY(folder->parent_path() != std::filesystem::temp_directory_path());
        struct stat info {};
        QCOMPARE(::lstat(folder->c_str(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0700));
        QVERIFY(ui::SingleInstance::defaultServerName().startsWith(
            QString::fromStdString(folder->string()) + "/"));

        if (::geteuid() == 0) {
            const auto foreign = home / "foreign-run";
            std::filesystem::create_directory(foreign);
            ::chmod(foreign.c_str(), 0700);
            QCOMPARE(::chown(foreign.c_str(), kOtherUser, kOtherUser), 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(foreign.string())));
            QCOMPARE(ui::SingleInstance::privateFolder(), folder);
        }
        // A link to a private folder is not the folder.
        const auto link = home / "linked-run";
        std::filesystem::create_directory_symlink(runtime, link);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(link.string())));
        QCOMPARE(ui::SingleInstance::privateFolder(), folder);

        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(ui::SingleInstance::privateFolder(), std::optional(runtime));
    }

    void eachDisplayHasAnInstanceOfItsOwn() {
        using ui::SingleInstance;
        const QString x0 = SingleInstance::displayKey("xcb", ":0", "");
        QVERIFY(x0 != SingleInstance::displayKey("xcb", ":1", ""));
        QVERIFY(x0 != SingleInstance::displayKey("xcb", "otherhost:0", ""));
        // Two screens of one display are one display.
        QCOMPARE(SingleInstance::displayKey("xcb", ":0.1", ""), x0);
        const QString w0 = SingleInstance::displayKey("wayland", ":0", "wayland-0");
        QVERIFY(w0 != x0);
        QVERIFY(w0 != SingleInstance::displayKey("wayland", ":0", "wayland-1"));
        QCOMPARE(SingleInstance::displayKey("wayland-egl", "", ""), w0);
        // Whatever the variable holds, the key is one file name, and distinct ones stay so.
        const QString odd = SingleInstance::displayKey("wayland", "", "/run/user/1000/../w 1");
        QVERIFY(!odd.contains('/') && !odd.contains(' ') && odd != "..");
        QVERIFY(odd != SingleInstance::displayKey("wayland", "", "_run_user_1000_.._w_1"));
        QVERIFY(SingleInstance::displayKey("xcb", QString(500, 'a') + ":0", "").size() <= 64);

        ui::SingleInstance here;
        QVERIFY(here.serverName().endsWith(
            "ombrix-pdf-" + SingleInstance::displayKey(QGuiApplication::platformName(), "", "")));
    }

    // An empty argument, as an unset shell variable gives, names no file: the program does
    // not abort, and the file named beside it opens and is drawn.
    void anEmptyArgumentNamesNoFile() {
        ombrix::testing::TempDir dir;
        const auto file =
            ombrix::testing::writePdf(ombrix::testing::textDocument(1), dir.path() / "named.pdf");
        const auto shot = dir.path() / "shot.png";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(dir.path().string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "data").string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.path() / "cfg").string()));
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(OMBRIX_PDF_PATH, {"--screenshot", QString::fromStdString(shot.string()), "",
                                    QString::fromStdString(file.string())});
        QVERIFY(app.waitForFinished(60000));
        QVERIFY2(app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0,
                 app.readAll().constData());
        QVERIFY(std::filesystem::file_size(shot) > 0);
    }
};

QTEST_MAIN(SingleInstanceHardeningTest)
#include "SingleInstanceHardeningTest.moc"
