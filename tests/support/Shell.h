#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace ombrix::testing {

struct ShellRun {
    int status = -1; // the exit status; -1 when the command did not exit normally
    std::string out;
    std::string err;
};

// The text as one single-quoted word of the shell.
std::string shellQuoted(const std::string& text);

// Runs the command line with /bin/sh, its standard output and error kept apart (the first
// 32 MB of each).
ShellRun runShell(const std::string& command);

// Everything written into a FIFO while `body` runs. A write end of the reader's own keeps
// it from waiting for ever should the FIFO be replaced instead of written into.
std::string readFifoDuring(const std::filesystem::path& fifo, const std::function<void()>& body);

} // namespace ombrix::testing
