#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionID.h"

#include <any>
#include <map>
#include <optional>
#include <string>

namespace ombrix {

// Caller-supplied parameters. By convention "url" holds a std::filesystem::path,
// "bounds" a page-space rectangle, "pageIndex" an int, "query" and "text" std::string.
using DispatchParams = std::map<std::string, std::any>;

// What a handler is told: the action (not the contract's verb), the caller's source
// unchecked, and the parameters unchanged.
struct DispatchContext {
    ActionID action;
    std::string source;
    DispatchParams params;

    // The parameter under key when present and of exactly type T; none otherwise.
    template <class T> std::optional<T> value(const std::string& key) const {
        auto it = params.find(key);
        if (it == params.end()) {
            return std::nullopt;
        }
        if (const T* held = std::any_cast<T>(&it->second)) {
            return *held;
        }
        return std::nullopt;
    }
};

} // namespace ombrix

OMBRIX_API_END
