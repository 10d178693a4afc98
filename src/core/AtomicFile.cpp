#include "core/AtomicFile.h"

#include "core/Error.h"
#include "core/Uuid.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

fs::path resolveLinks(const fs::path& target) {
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) {
            return resolved;
        }
    }
    return target;
}

void syncFolder(const fs::path& folder) {
    // The rename has happened by now; a folder that cannot be synced (some file systems
    // refuse) does not undo it, so this is best effort.
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    const fs::path destination = resolveLinks(target);
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

    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(temp.fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", temp.path, errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(temp.fd) != 0) {
        fail("sync", temp.path, errno);
    }
    const int fd = std::exchange(temp.fd, -1);
    if (::close(fd) != 0) {
        fail("close", temp.path, errno);
    }
    if (::rename(temp.path.c_str(), destination.c_str()) != 0) {
        fail("replace", destination, errno);
    }
    temp.committed = true;
    syncFolder(folder);
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
