#include "document/BrainStore.h"

#include "core/AtomicFile.h"
#include "core/StandardPaths.h"

#include <system_error>

namespace ombrix {

BrainStore::BrainStore(std::filesystem::path directory) : directory_(std::move(directory)) {
    std::error_code ignored;
    std::filesystem::create_directories(directory_, ignored);
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
        writeFileAtomically(*file, brain.encode());
    } catch (const std::exception&) {
        // A sidecar is a convenience; the document opens all the same.
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
