#include "contracts/DecodingError.h"

namespace ombrix {

DecodingError DecodingError::missing(const std::string& key) {
    return {missingKey, "Missing key '" + key + "'"};
}

DecodingError DecodingError::wrongTypeOf(const std::string& what, const std::string& expected) {
    return {wrongType, "Expected " + expected + " for " + what};
}

DecodingError DecodingError::unknown(const std::string& what, const std::string& value) {
    return {unknownValue, "Unknown " + what + ": '" + value + "'"};
}

} // namespace ombrix
