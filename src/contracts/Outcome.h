#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <utility>

namespace ombrix {

// How a dispatched action ended: done, or failed with a reason a user can read. An action
// that had nothing to act on (no tab, no page) is done: there was nothing to fail at.
class Outcome {
public:
    static Outcome done() { return Outcome(); }
    // `code` tells a caller that acts on particular failures which one it was (its
    // domain's error code; 0 for none).
    static Outcome failed(std::string reason, int code = 0) {
        return Outcome(std::move(reason), code);
    }

    bool isDone() const { return !failed_; }
    const std::string& reason() const { return reason_; } // empty when done
    int code() const { return code_; }

private:
    Outcome() = default;
    Outcome(std::string reason, int code)
        : failed_(true), reason_(std::move(reason)), code_(code) {}

    bool failed_ = false;
    std::string reason_;
    int code_ = 0;
};

} // namespace ombrix

OMBRIX_API_END
