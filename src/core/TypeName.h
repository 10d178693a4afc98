#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <typeinfo>

namespace ombrix {

// The demangled, fully qualified name of a type, e.g. "ombrix::Logging".
std::string demangle(const char* mangled);

// The name without its namespaces, e.g. "Logging".
std::string plainName(const std::string& qualified);

template <class T> std::string typeName() {
    return demangle(typeid(T).name());
}
template <class T> std::string plainTypeName() {
    return plainName(typeName<T>());
}

} // namespace ombrix

OMBRIX_API_END
