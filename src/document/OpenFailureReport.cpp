#include "document/OpenFailureReport.h"

#include "core/UserInteraction.h"

#include <algorithm>
#include <utility>

namespace ombrix {

namespace {

constexpr std::size_t kLongestName = 60; // characters

// A file name as one short line: control characters (a newline would fake another line
// of the list) become "?", and a long name keeps its start and its end.
std::string shownName(const std::filesystem::path& path) {
    std::vector<std::string> characters;
    const std::string name = path.filename().string();
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        length = std::min(length, name.size() - i);
        std::string character = name.substr(i, length);
        if (lead < 0x20 || lead == 0x7F) {
            character = "?";
        }
        characters.push_back(std::move(character));
        i += length;
    }
    std::string shown;
    if (characters.size() <= kLongestName) {
        for (const auto& c : characters) {
            shown += c;
        }
    } else {
        const std::size_t keep = (kLongestName - 1) / 2;
        for (std::size_t i = 0; i < keep; ++i) {
            shown += characters[i];
        }
        shown += "…";
        for (std::size_t i = characters.size() - keep; i < characters.size(); ++i) {
            shown += characters[i];
        }
    }
    return "“" + shown + "”";
}

} // namespace

void OpenFailureReport::add(std::filesystem::path path, std::string reason, std::size_t order) {
    failures_.push_back({std::move(path), std::move(reason), order});
}

std::pair<std::string, std::string>
OpenFailureReport::summary(const std::vector<Failure>& failures) {
    if (failures.size() == 1) {
        return {shownName(failures.front().path) + " cannot be opened", failures.front().reason};
    }
    std::string text;
    for (std::size_t i = 0; i < failures.size() && i < kNamed; ++i) {
        // Reasons often begin with the file's name already: "a.pdf does not exist."
        const std::string name = failures[i].path.filename().string() + " ";
        const std::string& reason = failures[i].reason;
        text += (i ? "\n" : "") + shownName(failures[i].path) +
                (reason.starts_with(name) ? reason.substr(name.size() - 1) : ": " + reason);
    }
    if (failures.size() > kNamed) {
        text += "\n…and " + std::to_string(failures.size() - kNamed) + " more.";
    }
    return {std::to_string(failures.size()) + " files cannot be opened", text};
}

void OpenFailureReport::show(UserInteraction& user) {
    if (showing_) {
        return; // told by the loop below once the alert on screen closes
    }
    showing_ = true;
    while (!failures_.empty()) {
        auto batch = std::exchange(failures_, {});
        std::stable_sort(batch.begin(), batch.end(),
                         [](const Failure& a, const Failure& b) { return a.order < b.order; });
        auto [title, text] = summary(batch);
        user.showAlert(title, text, AlertStyle::warning);
    }
    showing_ = false;
}

} // namespace ombrix
