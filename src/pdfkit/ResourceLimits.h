#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

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

// Whether a save replaced a file whole, read back, before any limit was reached: the work
// that made it was done in full, whatever the limits stopped afterwards.
bool wroteWithinLimits();
void noteWriteWithinLimits();

// A page whose streams decode to more than `ratio` times the size of the file (and more
// than `floorBytes`) is neither drawn nor read: it behaves as a page that cannot be loaded.
// No single deflate gets near that ratio; stacked filters (a decompression bomb) get far
// past it from a few kilobytes. On by default (4096, 64 MiB); a ratio of 0 turns it off.
void setInflationLimit(double ratio, std::size_t floorBytes);
// Whether a page has been refused for it since the process started.
bool inflationLimitReached();

} // namespace ombrix::pdfkit

OMBRIX_API_END
