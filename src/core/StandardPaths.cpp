#include "core/StandardPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace ombrix {

namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    // No $HOME (a service or a stripped environment): ask the user database.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && *result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

} // namespace

std::filesystem::path applicationSupportDirectory() {
    // The XDG rules say a relative value is invalid and must be ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        return data;
    }
    return homeDirectory() / ".local" / "share";
}

} // namespace ombrix
