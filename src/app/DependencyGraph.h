#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <vector>

namespace ombrix {

// The fixed build order of the core components, checked at start-up.
namespace DependencyGraph {

// "Logging", "EventBus", "TaskQueue", "AppSettings", "ServiceContainer",
// "ContractRegistry", "ContractBuilder", "AllContracts".
const std::vector<std::string>& buildOrder();

// Whether the order holds exactly 8 names, none repeated.
bool validate();

} // namespace DependencyGraph

} // namespace ombrix

OMBRIX_API_END
