#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/DispatchContext.h"
#include "contracts/Outcome.h"

#include <string>

namespace ombrix {

// One handler domain. The registry calls handle() for every action whose contract lists
// targetName(). handle() says how the action ended; what it throws (a contract broken by
// the caller) reaches the dispatcher's caller unchanged.
class ActionHandler {
public:
    virtual ~ActionHandler() = default;

    virtual std::string targetName() const = 0;
    virtual Outcome handle(const DispatchContext& context) = 0;
};

} // namespace ombrix

OMBRIX_API_END
