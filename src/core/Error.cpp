#include "core/Error.h"

namespace ombrix {

std::string describe(const std::exception& error) {
    if (auto* ours = dynamic_cast<const Error*>(&error)) {
        return ours->description();
    }
    return error.what();
}

std::string describe(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return describe(e);
    } catch (...) {
        return "unknown error";
    }
}

} // namespace ombrix
