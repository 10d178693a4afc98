#pragma once

#include "contracts/DispatchContext.h"

#include <string>

namespace ombrix {

// One handler domain. The registry calls handle() for every action whose contract lists
// targetName(); whatever handle() throws reaches the dispatcher's caller unchanged.
class ActionHandler {
public:
    virtual ~ActionHandler() = default;

    virtual std::string targetName() const = 0;
    virtual void handle(const DispatchContext& context) = 0;
};

} // namespace ombrix
