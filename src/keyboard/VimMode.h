#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

namespace ombrix {

// The engine enters only normal and command itself; visual is set by the host; outline
// and hint have no keys yet.
enum class VimMode { normal, visual, command, outline, hint };

enum class ScrollDirection { up, down, left, right };

const char* toString(VimMode mode);

} // namespace ombrix

OMBRIX_API_END
