#include "core/AtomicFile.h"

#include "core/Error.h"
#include "core/StandardPaths.h"
#include "core/Uuid.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

// Workspace folders are ".ombrix-XXXXXX.tmp": short, so a name of 255 bytes still saves,
// hidden, and recognisable as ours when a killed writer left one.
constexpr std::string_view kWorkspacePrefix = ".ombrix-";
constexpr std::string_view kWorkspaceSuffix = ".tmp";
// The new file inside a workspace, and the name it takes while it is copied into a target
// in place: a copy cut short leaves the target damaged and this the only whole version,
// so a workspace holding it is never cleaned away.
constexpr const char* kNewFile = "new";
constexpr const char* kCopyingFile = "copying";

bool isWorkspaceName(std::string_view name) {
    return name.size() == kWorkspacePrefix.size() + 6 + kWorkspaceSuffix.size() &&
           name.starts_with(kWorkspacePrefix) && name.ends_with(kWorkspaceSuffix);
}

struct Fd {
    int fd = -1;
    explicit Fd(int value = -1) : fd(value) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes what a workspace folder holds (files only: we never make folders in one).
void emptyFolder(int folderFd) {
    const int listFd = ::dup(folderFd);
    if (listFd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    for (const auto& name : names) {
        ::unlinkat(folderFd, name.c_str(), 0);
    }
}

// Removes the workspaces in `parent` that this user's writers left behind when they were
// killed: a live writer holds its folder's lock.
void removeAbandonedWorkspaces(const fs::path& parent) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(parent, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (isWorkspaceName(it->path().filename().native())) {
            found.push_back(it->path());
        }
    }
    for (const auto& folder : found) {
        Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat held {
        }, named{};
        if (fd.fd < 0 || ::fstat(fd.fd, &held) != 0 || held.st_uid != ::geteuid() ||
            ::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        if (::faccessat(fd.fd, kCopyingFile, F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
            continue;
        }
        if (::lstat(folder.c_str(), &named) != 0 || !sameFile(held, named)) {
            continue;
        }
        emptyFolder(fd.fd);
        ::rmdir(folder.c_str());
    }
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

// The names of a file's extended attributes; none when the file system keeps none.
std::optional<std::vector<std::string>> attributeNames(const fs::path* path, int fd) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = path ? ::listxattr(path->c_str(), nullptr, 0) : ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP) {
                return std::vector<std::string>{};
            }
            return std::nullopt;
        }
        std::string list(std::size_t(size), '\0');
        size = path ? ::listxattr(path->c_str(), list.data(), list.size())
                    : ::flistxattr(fd, list.data(), list.size());
        if (size < 0) {
            if (errno == ERANGE) {
                continue; // grew meanwhile
            }
            return std::nullopt;
        }
        std::vector<std::string> names;
        for (std::size_t at = 0; at < std::size_t(size);) {
            const std::size_t end = list.find('\0', at);
            names.push_back(list.substr(at, end - at));
            at = end + 1;
        }
        return names;
    }
    return std::nullopt;
}

std::optional<std::string> attributeValue(const fs::path& path, const std::string& name) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) {
            return std::nullopt;
        }
        std::string value(std::size_t(size), '\0');
        size = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (size >= 0) {
            value.resize(std::size_t(size));
            return value;
        }
        if (errno != ERANGE) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Gives the new file (open as `fd`) the owner, group, extended attributes (the access ACL
// among them) and permission bits of the file it replaces. False when one of them cannot
// be given, for the caller to write into the old file instead.
bool carryMetadata(int fd, const struct stat& made, const fs::path& old, const struct stat& was) {
    if ((made.st_uid != was.st_uid || made.st_gid != was.st_gid) &&
        ::fchown(fd, was.st_uid, was.st_gid) != 0) {
        if (errno == EPERM) {
            return false;
        }
        fail("keep the owner of", old, errno);
    }
    const auto names = attributeNames(&old, -1);
    if (!names) {
        return false;
    }
    for (const auto& name : *names) {
        const auto value = attributeValue(old, name);
        if (!value || ::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0) != 0) {
            return false;
        }
    }
    // An ACL the new file took from its folder's default is not the old file's.
    if (const auto own = attributeNames(nullptr, fd)) {
        for (const auto& name : *own) {
            if (std::find(names->begin(), names->end(), name) == names->end()) {
                ::fremovexattr(fd, name.c_str());
            }
        }
    }
    // Last: a change of owner clears the set-id bits, and this sets the ACL's mask to what
    // the old file had.
    if (::fchmod(fd, was.st_mode & 07777) != 0) {
        fail("copy the permissions of", old, errno);
    }
    return true;
}

// Copies the checked new file into `target` itself: a device or FIFO as any program writes
// to one, a regular file overwritten and cut to the new length, then synced.
// `started` turns true once the target's content may have changed.
void copyInto(const fs::path& from, const fs::path& target, bool regular, bool* started = nullptr) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) {
        fail("read", from, errno);
    }
    Fd out(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (out.fd < 0) {
        fail("write to", target, errno);
    }
    struct stat st {};
    if (::fstat(out.fd, &st) != 0) {
        fail("write to", target, errno);
    }
    // Something else was put at the name since it was looked at.
    if (S_ISREG(st.st_mode) != regular) {
        fail("write to", target, EINVAL);
    }
    std::vector<char> buffer(256 * 1024);
    off_t total = 0;
    if (started) {
        *started = true;
    }
    for (;;) {
        ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("read", from, errno);
        }
        if (n == 0) {
            break;
        }
        writeAll(out.fd, std::string_view(buffer.data(), std::size_t(n)), target);
        total += n;
    }
    if (regular && ::ftruncate(out.fd, total) != 0) {
        fail("write to", target, errno);
    }
    // A character device or FIFO has nothing to sync.
    if (::fsync(out.fd) != 0 && (regular || (errno != EINVAL && errno != EROFS))) {
        fail("sync", target, errno);
    }
    if (::close(std::exchange(out.fd, -1)) != 0) {
        fail("write to", target, errno);
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

namespace {

// The locks this thread holds, so that it can take one again without waiting on itself.
struct HeldLock {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    int fd = -1;
    int count = 0;
};
thread_local std::vector<HeldLock> tHeldLocks;

} // namespace

FileLock::FileLock(const fs::path& path) {
    for (;;) {
        // Not blocking: opening a FIFO for reading would wait for a writer.
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            fail("lock", path, errno);
        }
        struct stat locked {
        }, current{};
        if (::fstat(fd, &locked) == 0 && !S_ISREG(locked.st_mode)) {
            ::close(fd);
            return;
        }
        const std::uint64_t device = locked.st_dev, inode = locked.st_ino;
        for (HeldLock& held : tHeldLocks) {
            if (held.device == device && held.inode == inode) {
                ::close(fd);
                ++held.count;
                device_ = device;
                inode_ = inode;
                held_ = true;
                return;
            }
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        // A writer that held the lock may have renamed a new file over the path: the
        // lock must be on the file that is there now.
        if (rc == 0 && ::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &current) == 0 &&
            !sameFile(locked, current)) {
            ::close(fd);
            continue;
        }
        tHeldLocks.push_back(HeldLock{device, inode, fd, 1});
        device_ = device;
        inode_ = inode;
        held_ = true;
        return;
    }
}

FileLock::~FileLock() {
    if (!held_) {
        return;
    }
    for (auto it = tHeldLocks.begin(); it != tHeldLocks.end(); ++it) {
        if (it->device == device_ && it->inode == inode_) {
            if (--it->count == 0) {
                ::close(it->fd); // releases the flock
                tHeldLocks.erase(it);
            }
            return;
        }
    }
}

Workspace::Workspace(const fs::path& parent, const fs::path& forFile) {
    const fs::path& named = forFile.empty() ? parent : forFile;
    removeAbandonedWorkspaces(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = parent / (std::string(kWorkspacePrefix) + randomSuffix() +
                                       std::string(kWorkspaceSuffix));
        if (::mkdir(candidate.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            fail("create a temporary file for", named, errno);
        }
        // Another writer cleaning the folder may take it for abandoned before the lock is
        // ours; then it is gone and another name is tried.
        Fd fd(::open(candidate.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.fd < 0) {
            if (errno == ENOENT) {
                continue;
            }
            fail("create a temporary file for", named, errno);
        }
        int rc;
        do {
            rc = ::flock(fd.fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        struct stat held {
        }, current{};
        if (rc != 0 || ::fstat(fd.fd, &held) != 0 || ::lstat(candidate.c_str(), &current) != 0 ||
            !sameFile(held, current)) {
            continue;
        }
        // The umask may have taken bits the writer needs.
        if (::fchmod(fd.fd, 0700) != 0) {
            const int err = errno;
            ::rmdir(candidate.c_str());
            fail("create a temporary file for", named, err);
        }
        folder_ = std::move(candidate);
        fd_ = std::exchange(fd.fd, -1);
        return;
    }
    fail("create a temporary file for", named, EEXIST);
}

Workspace::~Workspace() {
    if (fd_ < 0) {
        return;
    }
    if (!kept_) {
        emptyFolder(fd_);
        ::rmdir(folder_.c_str());
    }
    ::close(fd_);
}

void replaceFile(const fs::path& target, const Replacement& replacement) {
    // The program's own files are never reached through a link: one planted at the name
    // is replaced like any other file there.
    const fs::path destination = replacement.ownFile ? target : realTarget(target);
    if (!destination.has_filename()) {
        fail("write", target, EISDIR);
    }
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
    const auto changedOnDisk = [&] {
        return Error("AtomicFile", kChangedOnDisk,
                     destination.string() +
                         " changed on disk since it was opened; it was not overwritten");
    };
    // Checked first as well as last: whatever else now stands at the name (a folder, a
    // FIFO), it is not the file that was opened.
    if (const auto now = fileStamp(destination);
        replacement.expected && now && now != replacement.expected) {
        throw changedOnDisk();
    }

    struct stat existing {};
    const bool exists = (replacement.ownFile ? ::lstat(destination.c_str(), &existing)
                                             : ::stat(destination.c_str(), &existing)) == 0;
    const bool regular = exists && S_ISREG(existing.st_mode);
    const bool special = exists && (S_ISCHR(existing.st_mode) || S_ISBLK(existing.st_mode) ||
                                    S_ISFIFO(existing.st_mode));
    if (exists && S_ISDIR(existing.st_mode)) {
        throw Error("AtomicFile", EISDIR,
                    destination.string() + " is a folder; nothing was written to it");
    }
    if (exists && S_ISSOCK(existing.st_mode)) {
        throw Error("AtomicFile", ENXIO,
                    destination.string() + " is a socket, which cannot hold a file; nothing "
                                           "was written to it");
    }
    if (special && replacement.ownFile) {
        throw Error("AtomicFile", EINVAL,
                    destination.string() + " is a device or FIFO, not a regular file; it was "
                                           "left as it is");
    }

    // A device's folder (/dev) is no place for a temporary.
    Workspace work(special ? scratchFolder() : folder, destination);
    const fs::path temporary = work.folder() / kNewFile;
    {
        // 0666 so the process umask decides, as for any newly created file; no one else
        // can reach into the workspace meanwhile.
        Fd made(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (made.fd < 0) {
            fail("create a temporary file for", destination, errno);
        }
    }
    if (replacement.fill) {
        replacement.fill(temporary);
    }

    // The file at the temporary's name now (fill may have made it anew): this is what
    // gets its metadata, is synced and later renamed.
    bool inPlace = special;
    {
        Fd written(::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat made {};
        if (written.fd < 0 || ::fstat(written.fd, &made) != 0) {
            fail("write", destination, errno);
        }
        if (!S_ISREG(made.st_mode)) {
            fail("write", destination, EINVAL);
        }
        if (replacement.ownFile) {
            if (::fchmod(written.fd, 0600) != 0) {
                fail("write", destination, errno);
            }
        } else if (regular) {
            inPlace =
                existing.st_nlink > 1 || !carryMetadata(written.fd, made, destination, existing);
        }
        if (::fsync(written.fd) != 0) {
            fail("sync", destination, errno);
        }
    }
    if (replacement.verify) {
        replacement.verify(temporary);
    }
    if (replacement.expected && fileStamp(destination) != replacement.expected) {
        throw changedOnDisk();
    }

    if (!inPlace) {
        if (::rename(temporary.c_str(), destination.c_str()) != 0) {
            fail("replace", destination, errno);
        }
        syncFolder(folder);
        return;
    }
    if (special) {
        copyInto(temporary, destination, false);
        return;
    }
    if (replacement.beforeWritingInPlace) {
        replacement.beforeWritingInPlace();
    }
    // Into the file itself, for every name and the owner to keep it. Until the copy is
    // done the new version is kept whole beside it.
    const fs::path kept = work.folder() / kCopyingFile;
    if (::rename(temporary.c_str(), kept.c_str()) != 0) {
        fail("write", destination, errno);
    }
    bool started = false;
    try {
        copyInto(kept, destination, true, &started);
    } catch (const Error& e) {
        if (!started) {
            throw; // the file was not touched
        }
        work.keep();
        throw Error("AtomicFile", e.code(),
                    e.description() + "; it may be damaged, and the complete new version is in " +
                        kept.string());
    }
}

namespace {

void writeBytes(const fs::path& target, std::string_view bytes, bool ownFile) {
    Replacement replacement;
    replacement.ownFile = ownFile;
    replacement.fill = [&](const fs::path& temporary) {
        Fd fd(::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        // Failures name the file being written: the temporary means nothing to the user.
        if (fd.fd < 0) {
            fail("write", target, errno);
        }
        writeAll(fd.fd, bytes, target);
    };
    replaceFile(target, replacement);
}

} // namespace

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    writeBytes(target, bytes, false);
}

void writeOwnFile(const fs::path& target, std::string_view bytes) {
    writeBytes(target, bytes, true);
}

namespace {

// Makes the missing levels of `folder` with mode 0700; levels that exist are left as they
// are (a parent such as /tmp or the home folder is not ours to narrow).
bool makeFolders(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !makeFolders(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

bool makePrivateFolder(const fs::path& folder) {
    if (folder.empty() || !makeFolders(folder)) {
        return false;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    // Only the folder asked for, and only when it is this user's own.
    if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0) {
        ::chmod(folder.c_str(), st.st_mode & 0700);
    }
    return true;
}

fs::path scratchFolder() {
    const fs::path folder = applicationSupportDirectory() / "OmbrixPdf" / "Scratch";
    struct stat st {};
    if (!makePrivateFolder(folder)) {
        fail("create the scratch folder", folder, errno ? errno : ENOTDIR);
    }
    // Scratch files are private only in a folder of this user's that no one else enters.
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0) {
        fail("use the scratch folder", folder, EACCES);
    }
    return folder;
}

void ignoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
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
