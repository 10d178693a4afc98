#pragma once

#include "document/DocumentBrain.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ombrix {

// Reads and writes sidecars, one "<fingerprint>.json" per document, in one folder.
// Storage problems are never reported: a sidecar that cannot be read is absent, one
// that cannot be written is simply not there next time.
class BrainStore {
public:
    // Creates the folder (and its parents) when missing; a failure is ignored.
    explicit BrainStore(std::filesystem::path directory);

    // applicationSupportDirectory()/"OmbrixPdf/Brains".
    static std::filesystem::path defaultDirectory();

    const std::filesystem::path& directory() const { return directory_; }
    // Nothing for a fingerprint that is not a plain file name (empty, ".", "..", or
    // holding "/" or NUL), so no name can reach outside the folder.
    std::optional<std::filesystem::path> fileFor(const std::string& fingerprint) const;

    // The document path is not used for the lookup; sidecars are found by fingerprint.
    std::optional<DocumentBrain> load(const std::filesystem::path& url,
                                      const std::string& fingerprint) const;
    // Replaces the file atomically, so a crash never leaves half a sidecar.
    void save(const DocumentBrain& brain) const;
    void remove(const std::string& fingerprint) const;

private:
    std::filesystem::path directory_;
};

} // namespace ombrix
