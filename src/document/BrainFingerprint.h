#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <filesystem>
#include <optional>
#include <string>

namespace ombrix {

// The content fingerprint sidecars are filed under: SHA-256 over the file's size
// (int64, little-endian), its modification time (seconds since 1970 as an IEEE double,
// little-endian) and its first 4096 bytes, as 64 lower-case hex digits. It follows the
// file across renames and moves, and changes whenever size or modification time do.
namespace BrainFingerprint {

inline constexpr std::size_t kHeadBytes = 4096;

// Nothing when the file's attributes cannot be read. A file that cannot be read is
// hashed over size and time alone.
std::optional<std::string> compute(const std::filesystem::path& path);

// What stands in when compute() yields nothing: a new random UUID in upper case.
std::string fallback();

} // namespace BrainFingerprint

} // namespace ombrix

OMBRIX_API_END
