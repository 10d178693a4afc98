#pragma once

#include <filesystem>
#include <string>

namespace ombrix::testing {

// A fresh directory under the system's temporary folder, removed with its contents
// when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// The whole file as it is on disk; empty when it cannot be read.
std::string readBytes(const std::filesystem::path& path);

} // namespace ombrix::testing
