#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string_view>
#include <vector>

namespace ombrix {

// The document-engine operation an action touches.
enum class BridgeOp {
    open,
    save,
    close,
    print,
    exportFile, // "export": a C++ keyword, named like importFile
    importFile, // "import"
    render,
    annotate,
    edit,
    compare,
};

std::string_view rawValue(BridgeOp op);
std::optional<BridgeOp> parseBridgeOp(std::string_view raw);
const std::vector<BridgeOp>& allBridgeOps();

std::ostream& operator<<(std::ostream& out, BridgeOp op);

// JSON form is the raw string; an unknown string or a non-string throws ombrix::Error.
void to_json(nlohmann::json& j, BridgeOp op);
void from_json(const nlohmann::json& j, BridgeOp& op);

} // namespace ombrix

OMBRIX_API_END
