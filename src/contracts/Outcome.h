#pragma once

#include <string>
#include <utility>

namespace ombrix {

// How a dispatched action ended: done, or failed with a reason a user can read. An action
// that had nothing to act on (no tab, no page) is done: there was nothing to fail at.
class Outcome {
public:
    static Outcome done() { return Outcome(); }
    static Outcome failed(std::string reason) { return Outcome(std::move(reason)); }

    bool isDone() const { return !failed_; }
    const std::string& reason() const { return reason_; } // empty when done

private:
    Outcome() = default;
    explicit Outcome(std::string reason) : failed_(true), reason_(std::move(reason)) {}

    bool failed_ = false;
    std::string reason_;
};

} // namespace ombrix
