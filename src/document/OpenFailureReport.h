#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace ombrix {

class UserInteraction;

// Files that could not be opened, told to the user together: one alert for a batch
// however many files it holds (a drop or a second launch may hand over thousands), with
// the first few names and reasons. Main thread only.
class OpenFailureReport {
public:
    // How many files an alert names; the rest are counted.
    static constexpr std::size_t kNamed = 5;

    struct Failure {
        std::filesystem::path path;
        std::string reason;
        std::size_t order = 0;
    };

    // `order` is the file's place in what was handed over: files open in parallel and
    // fail in any order, but are named in the order the user gave them.
    void add(std::filesystem::path path, std::string reason, std::size_t order = 0);
    bool empty() const { return failures_.empty(); }
    std::size_t size() const { return failures_.size(); }

    // Shows one alert for everything added so far and starts afresh. Alerts are modal:
    // files that fail while one is up are told in the next alert, after it closes, never
    // in one nested inside it (a call made meanwhile returns at once).
    void show(UserInteraction& user);

    // The alert's title and text for these failures.
    static std::pair<std::string, std::string> summary(const std::vector<Failure>& failures);

private:
    std::vector<Failure> failures_;
    bool showing_ = false;
};

} // namespace ombrix

OMBRIX_API_END
