#include "support/Shell.h"

#include "core/AtomicFile.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ombrix::testing {

std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

ShellRun runShell(const std::string& command) {
    std::string errPath =
        (std::filesystem::temp_directory_path() / "ombrix-stderr-XXXXXX").string();
    const int fd = ::mkstemp(errPath.data());
    if (fd < 0) {
        throw std::runtime_error("cannot create a file for standard error");
    }
    ::close(fd);
    ShellRun result;
    FILE* pipe = ::popen((command + " 2>" + shellQuoted(errPath)).c_str(), "r");
    std::array<char, 4096> buffer{};
    for (std::size_t n; pipe && (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        result.out.append(buffer.data(), n);
    }
    const int raw = pipe ? ::pclose(pipe) : -1;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = readFile(errPath).value_or("");
    ::unlink(errPath.c_str());
    return result;
}

} // namespace ombrix::testing
