#pragma once

#include "contracts/ActionHandler.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::testing {

// A handler that writes each call into a log shared by several handlers, so the order
// of calls across targets is visible, and optionally fails.
class RecordingHandler : public ActionHandler {
public:
    struct Call {
        std::string target;
        DispatchContext context;
    };
    using Log = std::vector<Call>;

    RecordingHandler(std::string target, std::shared_ptr<Log> log)
        : target_(std::move(target)), log_(std::move(log)) {}

    std::string targetName() const override { return target_; }

    Outcome handle(const DispatchContext& context) override {
        log_->push_back({target_, context});
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        return outcome_;
    }

    void failWith(std::exception_ptr failure) { failure_ = std::move(failure); }
    void answer(Outcome outcome) { outcome_ = std::move(outcome); }

private:
    std::string target_;
    std::shared_ptr<Log> log_;
    std::exception_ptr failure_;
    Outcome outcome_ = Outcome::done();
};

} // namespace ombrix::testing
