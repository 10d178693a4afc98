#include "support/Shell.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ombrix::testing {

std::string readFifoDuring(const std::filesystem::path& fifo, const std::function<void()>& body) {
    const int in = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int guard = ::open(fifo.c_str(), O_WRONLY);
    ::fcntl(in, F_SETFL, 0);
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;) {
            received.append(buffer, std::size_t(n));
        }
    });
    body();
    ::close(guard);
    reader.join();
    ::close(in);
    return received;
}

std::string shellQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

namespace {
// A command that runs away keeps only this much of each stream, so its test fails
// with the start of what it said instead of taking the machine's memory.
constexpr std::size_t kKeptOutput = 32u << 20;
} // namespace

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
        if (result.out.size() < kKeptOutput) {
            result.out.append(buffer.data(), n);
        }
    }
    const int raw = pipe ? ::pclose(pipe) : -1;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (std::FILE* err = std::fopen(errPath.c_str(), "rb")) {
        for (std::size_t n; result.err.size() < kKeptOutput &&
                            (n = std::fread(buffer.data(), 1, buffer.size(), err)) > 0;) {
            result.err.append(buffer.data(), n);
        }
        std::fclose(err);
    }
    ::unlink(errPath.c_str());
    return result;
}

} // namespace ombrix::testing
