#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <exception>
#include <string>

namespace ombrix {

// The general failure: a domain naming where it came from, a code within that
// domain and a description meant for the user.
class Error : public std::exception {
public:
    Error(std::string domain, int code, std::string description)
        : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string domain_;
    int code_;
    std::string description_;
};

// The text of any error: its description when it is one of ours, what() otherwise.
std::string describe(const std::exception& error);
std::string describe(const std::exception_ptr& error);

} // namespace ombrix

OMBRIX_API_END
