#pragma once

#include "search/LayoutMode.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::ui {

// Where a reader left a document: page, zoom and layout.
struct ViewState {
    int page = 0;
    double zoom = 1.0;
    LayoutMode layout = LayoutMode::continuous;
    bool operator==(const ViewState&) const = default;
};

// View states filed by the document's content fingerprint, one small JSON file each
// ("<fingerprint>.view.json") in the sidecar folder, written atomically. A state that
// cannot be read is as good as none; a failed write is dropped (it is a convenience).
// Any thread, one caller per fingerprint at a time.
class ViewStateStore {
public:
    explicit ViewStateStore(std::filesystem::path directory);

    std::optional<ViewState> load(const std::string& fingerprint) const;
    void save(const std::string& fingerprint, const ViewState& state) const;

    // The file a fingerprint's state lives in; none for a fingerprint that is no file name.
    std::optional<std::filesystem::path> fileFor(const std::string& fingerprint) const;

private:
    std::filesystem::path directory_;
};

// The files opened last, newest first, at most ten, in one JSON file written atomically.
class RecentFiles {
public:
    static constexpr std::size_t kLimit = 10;

    explicit RecentFiles(std::filesystem::path file);

    const std::vector<std::filesystem::path>& files() const { return files_; }
    // Puts `path` first (once) and writes the list.
    void add(const std::filesystem::path& path);
    void clear();

private:
    void write() const;

    std::filesystem::path file_;
    std::vector<std::filesystem::path> files_;
};

} // namespace ombrix::ui
