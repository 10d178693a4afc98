#include "core/Error.h"

#include <filesystem>
#include <string_view>

namespace ombrix {

std::string describe(const std::exception& error) {
    if (auto* ours = dynamic_cast<const Error*>(&error)) {
        return ours->description();
    }
    // The library's own text ("filesystem error: cannot copy file: … [a] [b]") in ours: the
    // files and the reason.
    if (auto* file = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
        // The step the library names, e.g. "cannot copy file", between its prefix and the
        // reason.
        std::string_view what = file->what();
        std::string step = "cannot use";
        constexpr std::string_view kPrefix = "filesystem error: ";
        if (what.starts_with(kPrefix)) {
            what.remove_prefix(kPrefix.size());
            if (auto colon = what.find(": "); colon != std::string_view::npos) {
                step = std::string(what.substr(0, colon));
            }
        }
        std::string text = step;
        if (!file->path1().empty()) {
            text += " " + file->path1().string();
        }
        if (!file->path2().empty()) {
            text += " to " + file->path2().string();
        }
        return text + ": " + file->code().message();
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
