#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// What identifies one version of a file on disk: the file (device and inode) and its
// size and modification time. A file replaced, rewritten or touched since gets another.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path`, symbolic links followed; none when there is none.
std::optional<FileStamp> fileStamp(const std::filesystem::path& path);

// The file a path names, symbolic links followed (the path itself when it names nothing).
std::filesystem::path realTarget(const std::filesystem::path& path);

// An exclusive advisory lock (flock) on an existing file, held until destroyed, so that
// two writers of one document never interleave. Waits for another holder. When a writer
// replaced the file while this one waited, the lock is taken again on the file now at
// the path. Throws Error (domain "AtomicFile") when the file cannot be opened.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// How replaceFile() makes and checks the new content.
struct Replacement {
    // Fills the new file, given its path (created empty, exclusively, in the target's
    // folder); throws to give up.
    std::function<void(const std::filesystem::path& temporary)> fill;
    // Checks the new file before it replaces anything; throws to refuse it.
    std::function<void(const std::filesystem::path& temporary)> verify;
    // The target must still be this version of the file; otherwise the write fails with
    // kChangedOnDisk and the target stays as it is.
    std::optional<FileStamp> expected;
};

// Replaces the file at `target` as a whole: readers see the old content or the new, never
// a mix, and a crash leaves one of the two on disk. The new content goes to a fresh
// temporary "<name>.XXXXXX" in the same folder (created exclusively; nothing else is ever
// removed), is synced, checked, renamed over the target, and the folder is synced. An
// existing target keeps its permission bits; a symbolic link at the target is followed,
// so the file it points to is replaced and the link stays.
//
// On failure throws Error with domain "AtomicFile" (the errno value as code, or one of
// the codes below) and a description naming the step and the path; the temporary is
// removed and the target is left as it was. Exceptions of `fill` and `verify` pass on.
void replaceFile(const std::filesystem::path& target, const Replacement& replacement);

inline constexpr int kChangedOnDisk = -100;

// replaceFile() with `bytes` as the new content.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Why a file cannot be read as a document, found without reading it (a FIFO would block
// the read forever, a device might never end).
enum class FileProblem { missing, permissionDenied, notRegularFile };
struct FileCheck {
    FileProblem problem;
    std::string message; // names the file and the reason
};
std::optional<FileCheck> checkReadableFile(const std::filesystem::path& path);

// The whole content of a file; none when it cannot be opened or read (or is a folder).
std::optional<std::string> readFile(const std::filesystem::path& path);

} // namespace ombrix
