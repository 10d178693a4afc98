#include "core/TypeName.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace ombrix {

std::string demangle(const char* mangled) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && out ? std::string(out.get()) : std::string(mangled);
}

std::string plainName(const std::string& qualified) {
    // The last "::" outside template arguments ends the qualification.
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < qualified.size(); ++i) {
        char c = qualified[i];
        if (c == '<' || c == '(') {
            ++depth;
        } else if (c == '>' || c == ')') {
            --depth;
        } else if (depth == 0 && c == ':' && i + 1 < qualified.size() && qualified[i + 1] == ':') {
            start = i + 2;
            ++i;
        }
    }
    return qualified.substr(start);
}

} // namespace ombrix
