#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <functional>

namespace ombrix {

// Where annotation changes ask for a redraw. The container wires each function to mark
// the whole of its active PDF view or canvas for redisplay; an empty function, or one
// that finds no such view when it runs, is simply skipped.
struct RedrawTargets {
    std::function<void()> pdfView;
    std::function<void()> canvas;
};

// Queues the redraw on the main queue, so it runs after the current event and sees the
// views as they are then. The canvas is redrawn only when asked for.
void requestRedraw(const RedrawTargets& targets, bool includeCanvas);

} // namespace ombrix

OMBRIX_API_END
