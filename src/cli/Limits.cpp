#include "cli/Limits.h"

#include "cli/Arguments.h"
#include "pdfkit/ResourceLimits.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace ombrix::cli {

namespace {

double fromEnvironment(const char* name, double fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) {
        return fallback;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(value) || value < 0 || value > 1e9) {
        throw UsageError(std::string(name) + " must be a number from 0 on, not '" + text + "'");
    }
    return value;
}

} // namespace

Limits limitsFromEnvironment() {
    Limits limits;
    limits.memoryMB = fromEnvironment("OMBRIX_MEMORY_LIMIT_MB", limits.memoryMB);
    limits.timeoutSeconds = fromEnvironment("OMBRIX_TIMEOUT_SECONDS", limits.timeoutSeconds);
    return limits;
}

void applyLimits(const Limits& limits) {
    pdfkit::setMemoryLimit(std::size_t(limits.memoryMB * 1024 * 1024));
    if (limits.timeoutSeconds > 0) {
        pdfkit::setDeadline(std::chrono::steady_clock::now() +
                            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(limits.timeoutSeconds)));
    }
}

std::string limitMessage(const Limits& limits) {
    std::ostringstream out;
    if (pdfkit::deadlineReached()) {
        out << "stopped: the document took longer than the " << limits.timeoutSeconds
            << " seconds allowed (OMBRIX_TIMEOUT_SECONDS)";
    } else if (pdfkit::memoryLimitReached()) {
        out << "stopped: the document needs more than the " << limits.memoryMB
            << " MB of memory allowed (OMBRIX_MEMORY_LIMIT_MB)";
    } else if (pdfkit::inflationLimitReached()) {
        out << "stopped: a page's content inflates to thousands of times the size of the "
               "file (a decompression bomb); it was not read";
    }
    return out.str();
}

} // namespace ombrix::cli
