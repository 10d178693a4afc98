#include "document/BrainStore.h"

#include "core/AtomicFile.h"
#include "core/StandardPaths.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace ombrix {

namespace {

// The opening bytes of a sidecar file, read without following a link or waiting on a
// FIFO; none when there are fewer.
std::optional<std::string> leadingBytes(const std::filesystem::path& file, std::size_t count) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string bytes(count, '\0');
    struct stat st {};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        n = ::pread(fd, bytes.data(), count, 0);
    }
    ::close(fd);
    if (n != ssize_t(count)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

BrainStore::BrainStore(std::filesystem::path directory) : directory_(std::move(directory)) {
    makePrivateFolder(directory_);
}

std::filesystem::path BrainStore::defaultDirectory() {
    return applicationSupportDirectory() / "OmbrixPdf" / "Brains";
}

std::optional<std::filesystem::path> BrainStore::fileFor(const std::string& fingerprint) const {
    if (fingerprint.empty() || fingerprint == "." || fingerprint == ".." ||
        fingerprint.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    return directory_ / (fingerprint + ".json");
}

std::optional<DocumentBrain> BrainStore::load(const std::filesystem::path& /*url*/,
                                              const std::string& fingerprint) const {
    auto file = fileFor(fingerprint);
    if (!file) {
        return std::nullopt;
    }
    auto bytes = readFile(*file);
    if (!bytes) {
        return std::nullopt;
    }
    return DocumentBrain::decode(*bytes);
}

void BrainStore::save(const DocumentBrain& brain) const {
    auto file = fileFor(brain.fingerprint);
    if (!file) {
        return;
    }
    try {
        writeOwnFile(*file, brain.encode());
    } catch (const std::exception&) {
        // A sidecar is a convenience; the document opens all the same.
        return;
    }
    pruneOlderVersions(brain, *file);
}

void BrainStore::pruneOlderVersions(const DocumentBrain& saved,
                                    const std::filesystem::path& file) const {
    // Every edit gives a document a new fingerprint and so a new sidecar. Ours all begin
    // with the schema version and the path: those bytes pick the candidates cheaply, and
    // only they are read whole. (A `,"fingerprint":` outside a string ends the path.)
    const std::string encoded = saved.encode();
    const std::size_t end = encoded.find(",\"fingerprint\":");
    if (end == std::string::npos) {
        return;
    }
    const std::string lead = encoded.substr(0, end + 1);
    std::vector<std::pair<TimePoint, std::filesystem::path>> older;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory_, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const auto& path = it->path();
        if (path == file || path.extension() != ".json" ||
            leadingBytes(path, lead.size()) != lead) {
            continue;
        }
        auto bytes = readFile(path);
        auto brain = bytes ? DocumentBrain::decode(*bytes) : std::nullopt;
        if (brain && brain->path == saved.path && fileFor(brain->fingerprint) == path) {
            older.emplace_back(brain->savedAt, path);
        }
    }
    if (older.size() < std::size_t(kVersionsKept)) {
        return;
    }
    std::sort(older.begin(), older.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = kVersionsKept - 1; i < older.size(); ++i) {
        std::filesystem::remove(older[i].second, ec);
    }
}

void BrainStore::remove(const std::string& fingerprint) const {
    auto file = fileFor(fingerprint);
    if (!file) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(*file, ignored);
}

} // namespace ombrix
