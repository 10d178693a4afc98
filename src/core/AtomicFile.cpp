#include "core/AtomicFile.h"

#include "core/Error.h"
#include "core/Uuid.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ombrix {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* step, const fs::path& path, int err) {
    throw Error("AtomicFile", err,
                std::string("Could not ") + step + " " + path.string() + ": " + std::strerror(err));
}

// Six random characters, the way mkstemp names its files.
std::string randomSuffix() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const auto bytes = Uuid::random().bytes();
    std::string out;
    for (int i = 0; i < 6; ++i) {
        out += kChars[bytes[i] % (sizeof(kChars) - 1)];
    }
    return out;
}

// The temporary until it has been renamed into place.
struct Temporary {
    fs::path path;
    int fd = -1;
    bool committed = false;

    ~Temporary() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!committed && !path.empty()) {
            ::unlink(path.c_str());
        }
    }
};

void syncFolder(const fs::path& folder) {
    // The rename has happened by now; a folder that cannot be synced (some file systems
    // refuse) does not undo it, so this is best effort.
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
                     std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void writeAll(int fd, std::string_view bytes, const fs::path& path) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", path, errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace

std::optional<FileStamp> fileStamp(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return stampOf(st);
}

fs::path realTarget(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return path;
}

FileLock::FileLock(const fs::path& path) {
    for (;;) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            fail("lock", path, errno);
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        struct stat locked {
        }, current{};
        // A writer that held the lock may have renamed a new file over the path: the
        // lock must be on the file that is there now.
        if (rc == 0 && ::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &current) == 0 &&
            (locked.st_dev != current.st_dev || locked.st_ino != current.st_ino)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        return;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the flock
    }
}

void replaceFile(const fs::path& target, const Replacement& replacement) {
    const fs::path destination = realTarget(target);
    if (!destination.has_filename()) {
        fail("write", target, EISDIR);
    }
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";

    Temporary temp;
    for (int attempt = 0; attempt < 100 && temp.fd < 0; ++attempt) {
        fs::path candidate = folder / (destination.filename().native() + "." + randomSuffix());
        // 0666 so the process umask decides, as for any newly created file.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp.path = std::move(candidate);
            temp.fd = fd;
        } else if (errno != EEXIST) {
            fail("create a temporary file for", destination, errno);
        }
    }
    if (temp.fd < 0) {
        fail("create a temporary file for", destination, EEXIST);
    }

    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        if (::fchmod(temp.fd, existing.st_mode & 07777) != 0) {
            fail("copy the permissions of", destination, errno);
        }
    }

    if (replacement.fill) {
        replacement.fill(temp.path);
    }
    if (::fsync(temp.fd) != 0) {
        fail("sync", temp.path, errno);
    }
    const int fd = std::exchange(temp.fd, -1);
    if (::close(fd) != 0) {
        fail("close", temp.path, errno);
    }
    if (replacement.verify) {
        replacement.verify(temp.path);
    }
    if (replacement.expected && fileStamp(destination) != replacement.expected) {
        throw Error("AtomicFile", kChangedOnDisk,
                    destination.string() +
                        " changed on disk since it was opened; it was not overwritten");
    }
    if (::rename(temp.path.c_str(), destination.c_str()) != 0) {
        fail("replace", destination, errno);
    }
    temp.committed = true;
    syncFolder(folder);
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    Replacement replacement;
    replacement.fill = [&](const fs::path& temporary) {
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            fail("write", temporary, errno);
        }
        struct Close {
            int fd;
            ~Close() { ::close(fd); }
        } closer{fd};
        writeAll(fd, bytes, temporary);
    };
    replaceFile(target, replacement);
}

std::optional<FileCheck> checkReadableFile(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == EACCES) {
            return FileCheck{FileProblem::permissionDenied, "permission denied: " + path.string()};
        }
        return FileCheck{FileProblem::missing, "no such file: " + path.string()};
    }
    if (!S_ISREG(st.st_mode)) {
        const char* kind = S_ISDIR(st.st_mode)                          ? "a folder"
                           : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                           : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                        : "not a file";
        return FileCheck{FileProblem::notRegularFile,
                         path.string() + " is " + kind + ", not a regular file"};
    }
    if (::access(path.c_str(), R_OK) != 0) {
        return FileCheck{FileProblem::permissionDenied, "permission denied: " + path.string()};
    }
    return std::nullopt;
}

std::optional<std::string> readFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        content.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

} // namespace ombrix
