#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "document/DocumentBrain.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ombrix {

// Reads and writes sidecars, one "<fingerprint>.json" per version of a document, in one
// folder of the program's own. Storage problems are never reported: a sidecar that cannot
// be read is absent, one that cannot be written is simply not there next time.
class BrainStore {
public:
    // The sidecars kept for one document path: its newest versions.
    static constexpr int kVersionsKept = 3;

    // Creates the folder (and its parents) when missing, private to the user (0700); a
    // failure is ignored.
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
    // Replaces the file atomically, so a crash never leaves half a sidecar; a link at its
    // name is replaced, not followed. Then removes the sidecars of the same path but
    // older versions beyond the newest kVersionsKept.
    void save(const DocumentBrain& brain) const;
    void remove(const std::string& fingerprint) const;

private:
    void pruneOlderVersions(const DocumentBrain& saved, const std::filesystem::path& file) const;

    std::filesystem::path directory_;
};

} // namespace ombrix

OMBRIX_API_END
