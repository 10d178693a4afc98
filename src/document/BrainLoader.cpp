#include "document/BrainLoader.h"

#include "document/BrainFingerprint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

namespace ombrix {

std::string formatLogTimestamp(TimePoint t) {
    auto whole = std::chrono::floor<std::chrono::seconds>(t);
    std::time_t seconds = static_cast<std::time_t>(whole.time_since_epoch().count());
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) {
        return "?";
    }
    char buffer[64];
    std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return std::string(buffer, n);
}

BrainLoader::BrainLoader(std::shared_ptr<BrainStore> store, std::shared_ptr<PDFBridge> bridge,
                         Logging logging, std::shared_ptr<Clock> clock)
    : store_(std::move(store)), bridge_(std::move(bridge)), logging_(std::move(logging)),
      clock_(clock ? std::move(clock) : systemClock()) {}

std::string BrainLoader::lookUp(const std::filesystem::path& url) const {
    auto computed = BrainFingerprint::compute(url);
    std::string fingerprint = computed ? *computed : BrainFingerprint::fallback();
    if (auto previous = store_->load(url, fingerprint)) {
        logging_.info("Brain HIT for " + url.filename().string() + " (saved " +
                      formatLogTimestamp(previous->savedAt) + ")");
    }
    return fingerprint;
}

BrainLoader::Result BrainLoader::load(const std::filesystem::path& url) {
    const TimePoint start = clock_->now();
    const std::string fingerprint = lookUp(url);
    return record(url, fingerprint, bridge_->open(url), start);
}

BrainLoader::Result BrainLoader::adopt(const std::filesystem::path& url,
                                       std::shared_ptr<PDFDocument> document,
                                       Duration openingTime) {
    const TimePoint start = clock_->now();
    const std::string fingerprint = lookUp(url);
    return record(url, fingerprint, std::move(document), start, openingTime);
}

BrainLoader::Result BrainLoader::record(const std::filesystem::path& url,
                                        const std::string& fingerprint,
                                        std::shared_ptr<PDFDocument> document, TimePoint start,
                                        Duration before) {
    const std::string fileName = url.filename().string();
    std::error_code error;
    auto size = std::filesystem::file_size(url, error);
    std::int64_t fileSize = error ? 0 : static_cast<std::int64_t>(size);

    const TimePoint now = clock_->now();
    DocumentBrain brain;
    brain.path = url.string();
    brain.fingerprint = fingerprint;
    brain.fileSize = fileSize;
    brain.modifiedAt = now;
    brain.pageCount = static_cast<int>(document->pageCount);
    for (const auto& geometry : document->pageSizes) {
        brain.pageSizes.push_back(PageSizeEntry::from(geometry));
    }
    brain.title = document->metadata.title;
    brain.author = document->metadata.author;
    brain.savedAt = now;
    store_->save(brain);

    // Wall-clock time can step back; an elapsed time is never negative.
    double elapsedMs = std::max(
        0.0, std::chrono::duration<double, std::milli>(clock_->now() - start + before).count());
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, "%.0f", elapsedMs);
    logging_.info("Loaded " + fileName + " in " + elapsed + "ms");

    return Result{std::move(document), false};
}

} // namespace ombrix
