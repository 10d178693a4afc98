#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <filesystem>

namespace ombrix {

// The per-user folder for data the application keeps for itself: $XDG_DATA_HOME when it
// is set to an absolute path, else ~/.local/share. Not created here.
std::filesystem::path applicationSupportDirectory();

} // namespace ombrix

OMBRIX_API_END
