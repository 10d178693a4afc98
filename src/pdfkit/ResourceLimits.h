#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

// What the PDF engine may take of the machine, process-wide. Any thread.
namespace ombrix::pdfkit {

// Caps the memory the engine allocates, all documents and threads together; 0 (the
// default) for no cap. An allocation past the cap fails, and with it the operation that
// asked (a render, a text extraction, an open), which then reports its usual failure.
void setMemoryLimit(std::size_t bytes);
std::size_t memoryLimit();
std::size_t memoryInUse();
// Whether an allocation has been refused for the cap since the process started.
bool memoryLimitReached();

// From `deadline` on, the engine's work stops (its allocations fail) wherever it is, for
// a process that must end in bounded time whatever the file; none by default. The desktop
// cancels single operations through CancelToken instead.
void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
bool deadlineReached();

} // namespace ombrix::pdfkit
