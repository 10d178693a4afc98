#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// Replaces the file at `target` with `bytes` as a whole: readers see the old content or
// the new, never a mix, and a crash leaves one of the two on disk. The bytes go to a
// fresh temporary "<name>.XXXXXX" in the same folder, are synced, renamed over the target,
// and the folder is synced. An existing target keeps its permission bits; a symbolic link
// at the target is followed, so the file it points to is replaced and the link stays.
//
// On failure throws Error with domain "AtomicFile", the errno value as code and a
// description naming the step and the path; the temporary is removed and the target is
// left as it was.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The whole content of a file; none when it cannot be opened or read (or is a folder).
std::optional<std::string> readFile(const std::filesystem::path& path);

} // namespace ombrix
