#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace ombrix::testing {

// Sets (or, given null, unsets) an environment variable for one scope, then puts back
// what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() {
        saved_ ? ::setenv(name_.c_str(), saved_->c_str(), 1) : ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

} // namespace ombrix::testing
