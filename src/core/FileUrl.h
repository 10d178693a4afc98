#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// "file:///..." for a path, made absolute against the current directory. Every byte
// outside the unreserved set (letters, digits, "-._~") and "/" is percent-encoded, so
// the result is plain ASCII whatever the path's bytes are.
std::string toFileUrl(const std::filesystem::path& path);

// The path of a file URL whose host is empty or "localhost" (scheme and host compared
// without regard to case). Query and fragment are not part of the path. None for any
// other URL, a relative path, a malformed %-escape or a NUL byte.
std::optional<std::filesystem::path> fromFileUrl(std::string_view url);

// The last component even of a path that ends in a separator ("/a/b/" gives "b").
std::filesystem::path lastPathComponent(const std::filesystem::path& path);

} // namespace ombrix

OMBRIX_API_END
