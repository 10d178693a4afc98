#include "ui/window/ViewStateStore.h"

#include "core/AtomicFile.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace ombrix::ui {

ViewStateStore::ViewStateStore(std::filesystem::path directory)
    : directory_(std::move(directory)) {}

std::optional<std::filesystem::path> ViewStateStore::fileFor(const std::string& fingerprint) const {
    if (fingerprint.empty() || fingerprint == "." || fingerprint == ".." ||
        fingerprint.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    return directory_ / (fingerprint + ".view.json");
}

std::optional<ViewState> ViewStateStore::load(const std::string& fingerprint) const {
    auto file = fileFor(fingerprint);
    auto bytes = file ? readFile(*file) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    try {
        const auto json = nlohmann::json::parse(*bytes);
        ViewState state;
        state.page = json.at("page").get<int>();
        state.zoom = json.at("zoom").get<double>();
        state.layout = json.at("layout").get<LayoutMode>();
        // A hand-edited or damaged file must not send the view somewhere absurd.
        if (state.page < 0 || !std::isfinite(state.zoom) || state.zoom < 0.1 || state.zoom > 5.0) {
            return std::nullopt;
        }
        return state;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void ViewStateStore::save(const std::string& fingerprint, const ViewState& state) const {
    auto file = fileFor(fingerprint);
    if (!file) {
        return;
    }
    nlohmann::json json{{"page", state.page}, {"zoom", state.zoom}, {"layout", state.layout}};
    try {
        makePrivateFolder(directory_);
        writeOwnFile(*file, json.dump());
    } catch (const std::exception&) {
        // The document is as it was; only its place is forgotten.
    }
}

RecentFiles::RecentFiles(std::filesystem::path file) : file_(std::move(file)) {
    auto bytes = readFile(file_);
    if (!bytes) {
        return;
    }
    try {
        const auto json = nlohmann::json::parse(*bytes);
        for (const auto& entry : json.at("files")) {
            if (files_.size() < kLimit) {
                files_.emplace_back(entry.get<std::string>());
            }
        }
    } catch (const std::exception&) {
        files_.clear();
    }
}

void RecentFiles::add(const std::filesystem::path& path) {
    files_.erase(std::remove(files_.begin(), files_.end(), path), files_.end());
    files_.insert(files_.begin(), path);
    if (files_.size() > kLimit) {
        files_.resize(kLimit);
    }
    write();
}

void RecentFiles::clear() {
    files_.clear();
    write();
}

void RecentFiles::write() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& file : files_) {
        list.push_back(file.string());
    }
    try {
        makePrivateFolder(file_.parent_path());
        writeOwnFile(file_, nlohmann::json{{"files", list}}.dump(1));
    } catch (const std::exception&) {
        // Forgetting the list loses nothing of the user's.
    }
}

} // namespace ombrix::ui
