#pragma once

#include "cli/Command.h"

#include <string>

namespace ombrix::cli {

// What one command may take of the machine, from the environment:
// OMBRIX_MEMORY_LIMIT_MB (default 1024) caps the PDF engine's memory and
// OMBRIX_TIMEOUT_SECONDS (default 60) the time its renders, text extraction and searches
// may run. 0 turns either off.
struct Limits {
    double memoryMB = 1024;
    double timeoutSeconds = 60;
};
// Throws UsageError for a value that is not a number from 0 on.
Limits limitsFromEnvironment();
// Applies them to the PDF engine for the rest of the process.
void applyLimits(const Limits& limits);
// A clear message when the engine stopped a command for a limit; empty otherwise.
std::string limitMessage(const Limits& limits);

} // namespace ombrix::cli
