#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

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
// the path. A device or FIFO is not locked (opening a FIFO to lock it would wait for a
// writer). A thread that holds the lock on a file already shares it: an edit that locks
// the file from reading to writing can save through a writer that locks it too. Throws
// Error (domain "AtomicFile") when the file cannot be opened.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    bool held_ = false;
};

// A private folder (mode 0700, named ".ombrix-XXXXXX.tmp") of one writer inside `parent`,
// locked while it lives and removed with what it holds when destroyed. A writer killed
// before it could remove its folder leaves it behind: making a workspace first removes
// every such folder of this user in `parent` whose writer is gone. Throws Error (domain
// "AtomicFile") naming `forFile` (or the parent) when the folder cannot be made.
class Workspace {
public:
    explicit Workspace(const std::filesystem::path& parent,
                       const std::filesystem::path& forFile = {});
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    // Leaves the folder and its content in place when destroyed (and to later cleaning).
    void keep() { kept_ = true; }

private:
    std::filesystem::path folder_;
    int fd_ = -1;
    bool kept_ = false;
};

// How replaceFile() makes and checks the new content.
struct Replacement {
    // Fills the new file, given its path (created empty, exclusively, in a private folder
    // beside the target; the callee may also remove and recreate it); throws to give up.
    std::function<void(const std::filesystem::path& temporary)> fill;
    // Checks the new file before it replaces anything; throws to refuse it.
    std::function<void(const std::filesystem::path& temporary)> verify;
    // The target must still be this version of the file; otherwise the write fails with
    // kChangedOnDisk and the target stays as it is.
    std::optional<FileStamp> expected;
    // Called before the checked content is copied into the target itself (see below), for
    // a caller that still reads the old content through the file; throws to give up.
    std::function<void()> beforeWritingInPlace;
    // The program's own file (a sidecar, the preferences, a view state): a symbolic link at
    // the name is replaced, never followed; anything there but a regular file or a link is
    // refused; the file is made 0600 and hard links to it are split.
    bool ownFile = false;
};

// Replaces the file at `target` as a whole: readers see the old content or the new, never
// a mix, and a crash leaves one of the two on disk. The new content goes to a fresh file
// in a Workspace in the target's folder, is synced, checked, renamed over the target, and
// the folder is synced. An existing target keeps its owner, group, permission bits and
// extended attributes (ACLs among them); a symbolic link at a target that is not the
// program's own is followed, so the file it points to is replaced and the link stays.
//
// Some targets cannot be renamed over without harm; the checked content is then copied
// into the target itself, after the same checks:
// - a device or FIFO (written through the way any program writes to one; the new file is
//   made in a workspace in scratchFolder());
// - a file with several hard links (every name sees the new content);
// - a file whose owner or extended attributes a new file cannot be given (another user's
//   file this user may write).
// A copy into a regular file that fails part way keeps the complete new file and names
// it in the error. A folder or a socket at the target is refused.
//
// On failure throws Error with domain "AtomicFile" (the errno value as code, or one of
// the codes below) and a description naming the step and the path; the temporary is
// removed and the target is left as it was. Exceptions of `fill` and `verify` pass on.
void replaceFile(const std::filesystem::path& target, const Replacement& replacement);

inline constexpr int kChangedOnDisk = -100;

// replaceFile() with `bytes` as the new content, for a file of the user's.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);
// replaceFile() with `bytes` as the new content, for a file of the program's own.
void writeOwnFile(const std::filesystem::path& target, std::string_view bytes);

// Creates `folder` and any missing parents with mode 0700; an existing `folder` of this
// user that others may enter is narrowed to 0700. Returns false when it cannot be made
// (or is not a folder).
bool makePrivateFolder(const std::filesystem::path& folder);

// Where the program's scratch files go: applicationSupportDirectory()/"OmbrixPdf/Scratch",
// made private on every call. Throws Error (domain "AtomicFile") when it cannot be made.
std::filesystem::path scratchFolder();

// Makes a write past the file-size limit (RLIMIT_FSIZE) fail with EFBIG instead of
// killing the process with SIGXFSZ, so the writer can clean up and say why. Called once
// at the start of each program.
void ignoreFileSizeSignal();

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

OMBRIX_API_END
