#pragma once

#include <string>

namespace ombrix::testing {

struct ShellRun {
    int status = -1; // the exit status; -1 when the command did not exit normally
    std::string out;
    std::string err;
};

// The text as one single-quoted word of the shell.
std::string shellQuoted(const std::string& text);

// Runs the command line with /bin/sh, its standard output and error kept apart.
ShellRun runShell(const std::string& command);

} // namespace ombrix::testing
