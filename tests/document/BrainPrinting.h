#pragma once

#include "document/DocumentBrain.h"

#include <ostream>

namespace ombrix {

// Readable failure messages for sidecar records.
inline void PrintTo(const DocumentBrain& brain, std::ostream* out) {
    *out << brain.encode();
}

} // namespace ombrix
