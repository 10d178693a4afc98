#include "core/AtomicFile.h"
#include "core/Error.h"
#include "support/ScopedEnv.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ombrix;
using namespace ombrix::testing;
namespace fs = std::filesystem;

namespace writes_hardening {

constexpr uid_t kOtherUser = 54321;

struct stat statOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string errorOf(const std::function<void()>& write) {
    try {
        write();
    } catch (const Error& e) {
        return e.description();
    }
    return {};
}

// Runs `body` in a forked child and returns its wait status; the child's exit code says
// which of its checks failed (0: all held).
int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

struct AtomicFileHardening : ::testing::Test {
    TempDir dir;
    TempDir data; // the scratch folder lives below it
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path().c_str()};
};

TEST_F(AtomicFileHardening, ADeviceIsWrittenIntoAndStaysADevice) {
    const std::string png(70000, 'p');
    if (::geteuid() == 0) {
        // A null device of the test's own first: a writer that renames over it harms
        // nothing, and /dev/null is only tried once that holds.
        const fs::path node = dir / "null";
        ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0)
            << std::strerror(errno);
        writeFileAtomically(node, png);
        ASSERT_TRUE(S_ISCHR(statOf(node).st_mode));
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"null"});
    }
    EXPECT_NO_THROW(writeFileAtomically("/dev/null", png));
    EXPECT_TRUE(S_ISCHR(statOf("/dev/null").st_mode));
    EXPECT_EQ(::major(statOf("/dev/null").st_rdev), 1u);
    // The scratch copy the content went through is gone.
    EXPECT_TRUE(fs::is_empty(data / "OmbrixPdf" / "Scratch"));
}

TEST_F(AtomicFileHardening, AFifoReceivesTheContentAndStaysAFifo) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = char('a' + i % 26);
    }
    const std::string received = ombrix::testing::readFifoDuring(
        fifo, [&] { EXPECT_NO_THROW(writeFileAtomically(fifo, content)); });
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_EQ(received, content);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"pipe"});
}

TEST_F(AtomicFileHardening, ASocketOrAnOwnFilesFifoIsRefusedAndLeftAlone) {
    const fs::path socketPath = dir / "sock";
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::string why = errorOf([&] { writeFileAtomically(socketPath, "png"); });
    EXPECT_NE(why.find(socketPath.string()), std::string::npos) << why;
    EXPECT_NE(why.find("socket"), std::string::npos) << why;
    EXPECT_TRUE(S_ISSOCK(statOf(socketPath).st_mode));
    ::close(sock);

    // A FIFO planted at a state file's name would block the program: it is refused at once.
    const fs::path fifo = dir / "state.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string refused = errorOf([&] { writeOwnFile(fifo, "{}"); });
    EXPECT_NE(refused.find(fifo.string()), std::string::npos) << refused;
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"sock", "state.json"}));
}

TEST_F(AtomicFileHardening, AnOwnFileReplacesALinkAtItsNameAndLeavesItsTargetAlone) {
    const fs::path victim = dir / "victim.txt";
    writeFileAtomically(victim, "precious");
    const fs::path state = dir / "state.json";
    fs::create_symlink(victim, state);

    writeOwnFile(state, R"({"page":3})");
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(S_ISREG(statOf(state).st_mode));
    EXPECT_EQ(readFile(state), R"({"page":3})");
    EXPECT_EQ(statOf(state).st_mode & 0777, 0600u);

    // A user's file still follows its link.
    const fs::path link = dir / "doc-link.pdf";
    fs::create_symlink(victim, link);
    writeFileAtomically(link, "edited");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(victim), "edited");
}

TEST_F(AtomicFileHardening, KeepsOwnerGroupModeAndExtendedAttributes) {
    const fs::path file = dir / "theirs.pdf";
    writeFileAtomically(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), kOtherUser, kOtherUser), 0);
    }
    const std::string note = "checked by Ana";
    const bool userAttributes =
        ::setxattr(file.c_str(), "user.note", note.data(), note.size(), 0) == 0;
    // An access ACL granting one more user read access, as setfacl writes it.
    struct [[gnu::packed]] Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    struct [[gnu::packed]] Acl {
        std::uint32_t version = 2;
        Entry entries[5] = {{0x01, 6, 0xFFFFFFFF},
                            {0x02, 4, 1234},
                            {0x04, 4, 0xFFFFFFFF},
                            {0x10, 4, 0xFFFFFFFF},
                            {0x20, 0, 0xFFFFFFFF}};
    } acl;
    const bool acls = ::setxattr(file.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) == 0;

    writeFileAtomically(file, "new content");
    EXPECT_EQ(readFile(file), "new content");
    const struct stat st = statOf(file);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, kOtherUser);
        EXPECT_EQ(st.st_gid, kOtherUser);
    }
    if (userAttributes) {
        char value[64] = {};
        EXPECT_EQ(::getxattr(file.c_str(), "user.note", value, sizeof value), ssize_t(note.size()));
        EXPECT_EQ(std::string(value), note);
    } else {
        std::cout << "the file system keeps no user attributes; that part was skipped\n";
    }
    if (acls) {
        Acl back{};
        EXPECT_EQ(::getxattr(file.c_str(), "system.posix_acl_access", &back, sizeof back),
                  ssize_t(sizeof acl));
        EXPECT_EQ(std::memcmp(&back, &acl, sizeof acl), 0);
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"theirs.pdf"});
    if (!root) {
        GTEST_SKIP() << "keeping another user's ownership needs root";
    }
}

TEST_F(AtomicFileHardening, EveryHardLinkSeesTheNewContent) {
    const fs::path first = dir / "paper.pdf", second = dir / "copy-of-paper.pdf";
    writeFileAtomically(first, "version one");
    ASSERT_EQ(::link(first.c_str(), second.c_str()), 0);
    const ino_t inode = statOf(first).st_ino;

    writeFileAtomically(second, "version two, longer");
    EXPECT_EQ(readFile(first), "version two, longer");
    EXPECT_EQ(readFile(second), "version two, longer");
    EXPECT_EQ(statOf(first).st_ino, inode);
    EXPECT_EQ(statOf(first).st_nlink, 2u);
    writeFileAtomically(first, "v3");
    EXPECT_EQ(readFile(second), "v3"); // cut to the new length
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"copy-of-paper.pdf", "paper.pdf"}));

    // A state file is the program's alone: a link made to it is split off.
    const fs::path state = dir / "state.json", other = dir / "other";
    writeOwnFile(state, "a");
    ASSERT_EQ(::link(state.c_str(), other.c_str()), 0);
    writeOwnFile(state, "b");
    EXPECT_EQ(readFile(other), "a");
}

TEST_F(AtomicFileHardening, AnotherUsersFileThisUserMayWriteIsWrittenInPlace) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a second user";
    }
    // A shared folder and a file of root's that anyone may write.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const fs::path file = dir / "shared.pdf";
    writeFileAtomically(file, "root's text");
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    const int status = inChild([&] {
        if (::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
            return 2;
        }
        writeFileAtomically(file, "edited by another user");
        return 0;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(file), "edited by another user");
    EXPECT_EQ(statOf(file).st_uid, 0u);
    EXPECT_EQ(statOf(file).st_mode & 0777, 0666u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"shared.pdf"});

    // One they may only read is refused, not replaced by a file of theirs.
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    const int refused = inChild([&] {
        if (::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
            return 2;
        }
        const std::string why = errorOf([&] { writeFileAtomically(file, "taken over"); });
        return why.find(file.string()) != std::string::npos &&
                       why.find(std::strerror(EACCES)) != std::string::npos
                   ? 0
                   : 3;
    });
    ASSERT_TRUE(WIFEXITED(refused));
    EXPECT_EQ(WEXITSTATUS(refused), 0);
    EXPECT_EQ(readFile(file), "edited by another user");
    EXPECT_EQ(statOf(file).st_uid, 0u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"shared.pdf"});
}

TEST_F(AtomicFileHardening, ANameOfTheLongestLengthSaves) {
    for (std::size_t length : {249u, 255u}) {
        const fs::path file = dir / (std::string(length - 4, 'n') + ".pdf");
        EXPECT_NO_THROW(writeFileAtomically(file, "first")) << length;
        EXPECT_NO_THROW(writeFileAtomically(file, "second")) << length;
        EXPECT_EQ(readFile(file), "second");
    }
    EXPECT_EQ(namesIn(dir.path()).size(), 2u);
}

TEST_F(AtomicFileHardening, AKilledWritersTemporaryGoesWithTheNextWriteButALiveOneStays) {
    const fs::path target = dir / "big.pdf";
    writeFileAtomically(target, "original");
    // A writer killed half way through a large file.
    const int killed = inChild([&] {
        Replacement replacement;
        replacement.fill = [](const fs::path& temporary) {
            int fd = ::open(temporary.c_str(), O_WRONLY);
            const std::string chunk(1 << 20, 'z');
            [[maybe_unused]] auto n = ::write(fd, chunk.data(), chunk.size());
            ::kill(::getpid(), SIGKILL);
        };
        replaceFile(target, replacement);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(killed));
    EXPECT_EQ(readFile(target), "original");
    const auto left = namesIn(dir.path());
    ASSERT_EQ(left.size(), 2u); // the writer's leftover, short and hidden
    const std::string leftover = left[0];
    EXPECT_EQ(leftover.size(), 18u) << leftover;
    EXPECT_EQ(leftover.front(), '.');

    // A writer still at work, waiting on a pipe, in the same folder.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(go[1]);
        Replacement replacement;
        replacement.fill = [&](const fs::path& temporary) {
            char byte;
            [[maybe_unused]] auto n = ::read(go[0], &byte, 1);
            int fd = ::open(temporary.c_str(), O_WRONLY);
            [[maybe_unused]] auto w = ::write(fd, "slow", 4);
            ::close(fd);
        };
        try {
            replaceFile(dir / "slow.pdf", replacement);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(go[0]);
    // The slow writer's folder, made after it cleared the killed one's away.
    const auto slowFolder = [&]() -> std::string {
        for (const auto& name : namesIn(dir.path())) {
            if (name.front() == '.' && name != leftover) {
                return name;
            }
        }
        return {};
    };
    for (int i = 0; i < 500 && slowFolder().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string live = slowFolder();
    ASSERT_FALSE(live.empty());
    EXPECT_FALSE(fs::exists(dir / leftover));

    writeFileAtomically(dir / "other.pdf", "other");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{live, "big.pdf", "other.pdf"}));
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(dir / "slow.pdf"), "slow");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"big.pdf", "other.pdf", "slow.pdf"}));
}

TEST_F(AtomicFileHardening, AFileSizeLimitFailsTheWriteWithAReasonAndNoTemporary) {
    const fs::path target = dir / "limited.png";
    writeFileAtomically(target, "small original");
    const int status = inChild([&] {
        ignoreFileSizeSignal();
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string why =
            errorOf([&] { writeFileAtomically(target, std::string(100000, 'x')); });
        if (why.find(target.string()) == std::string::npos) {
            return 3;
        }
        return why.find(std::strerror(EFBIG)) == std::string::npos ? 4 : 0;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(target), "small original");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"limited.png"});
}

TEST_F(AtomicFileHardening, PrivateFoldersAreMadeForThisUserAlone) {
    const fs::path folder = dir / "a" / "b" / "c";
    ASSERT_TRUE(makePrivateFolder(folder));
    for (const fs::path& level : {dir / "a", dir / "a" / "b", folder}) {
        EXPECT_EQ(statOf(level).st_mode & 0777, 0700u) << level;
    }
    // The folders it stands in are not the program's: they keep their mode.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_TRUE(makePrivateFolder(dir / "x" / "y"));
    EXPECT_EQ(statOf(dir.path()).st_mode & 0777, 0755u);
    EXPECT_EQ(statOf(dir / "x").st_mode & 0777, 0700u);
    // One made earlier by a looser hand is narrowed.
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    ASSERT_TRUE(makePrivateFolder(folder));
    EXPECT_EQ(statOf(folder).st_mode & 0777, 0700u);
    writeFileAtomically(dir / "file", "x");
    EXPECT_FALSE(makePrivateFolder(dir / "file"));

    const fs::path scratch = scratchFolder();
    EXPECT_EQ(scratch, data / "OmbrixPdf" / "Scratch");
    EXPECT_EQ(statOf(scratch).st_mode & 0777, 0700u);
}

} // namespace writes_hardening
