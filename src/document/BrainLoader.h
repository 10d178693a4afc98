#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"
#include "core/Logging.h"
#include "document/BrainStore.h"
#include "document/PDFBridge.h"

#include <filesystem>
#include <memory>

namespace ombrix {

// The entry point for opening a file: looks for its sidecar, opens it through the
// bridge and writes a fresh sidecar.
class BrainLoader {
public:
    struct Result {
        std::shared_ptr<PDFDocument> document;
        bool brainReused = false; // always false: the document is built from the file
    };

    BrainLoader(std::shared_ptr<BrainStore> store, std::shared_ptr<PDFBridge> bridge,
                Logging logging, std::shared_ptr<Clock> clock = systemClock());

    // Throws the bridge's open errors; no sidecar is written then.
    Result load(const std::filesystem::path& url);
    // The same for a document opened elsewhere (the desktop opens files off the main
    // thread) in `openingTime`: files the sidecar, logs the load.
    Result adopt(const std::filesystem::path& url, std::shared_ptr<PDFDocument> document,
                 Duration openingTime);

    const std::shared_ptr<BrainStore>& store() const { return store_; }

private:
    std::string lookUp(const std::filesystem::path& url) const;
    Result record(const std::filesystem::path& url, const std::string& fingerprint,
                  std::shared_ptr<PDFDocument> document, TimePoint started, Duration before = {});

    std::shared_ptr<BrainStore> store_;
    std::shared_ptr<PDFBridge> bridge_;
    Logging logging_;
    std::shared_ptr<Clock> clock_;
};

// "2026-12-08 04:15:58 +0000": the time in UTC, whole seconds.
std::string formatLogTimestamp(TimePoint t);

} // namespace ombrix

OMBRIX_API_END
