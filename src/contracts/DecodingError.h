#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Error.h"

#include <string>

namespace ombrix {

// A JSON value that is not a valid contract or part of one. Every decoding failure of
// this subsystem is one of these, so a single catch of ombrix::Error handles them all.
class DecodingError : public Error {
public:
    static constexpr const char* kDomain = "ContractDecoding";
    enum Code { missingKey = 1, wrongType = 2, unknownValue = 3 };

    static DecodingError missing(const std::string& key);
    static DecodingError wrongTypeOf(const std::string& what, const std::string& expected);
    static DecodingError unknown(const std::string& what, const std::string& value);

private:
    DecodingError(Code code, std::string description)
        : Error(kDomain, code, std::move(description)) {}
};

} // namespace ombrix

OMBRIX_API_END
