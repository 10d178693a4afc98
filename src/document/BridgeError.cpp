#include "document/BridgeError.h"

#include "core/FileUrl.h"

namespace ombrix {

namespace {
constexpr const char* kDomain = "BridgeError";

} // namespace

BridgeError::BridgeError(Kind kind, std::string description)
    : Error(kDomain, static_cast<int>(kind), std::move(description)), kind_(kind) {}

BridgeError BridgeError::cannotOpen(const std::filesystem::path& url) {
    return BridgeError(Kind::cannotOpen, "Cannot open " + lastPathComponent(url).string());
}

BridgeError BridgeError::cannotOpen(const std::filesystem::path& url, const std::string& reason) {
    return BridgeError(Kind::cannotOpen,
                       "Cannot open " + lastPathComponent(url).string() + ": " + reason);
}

BridgeError BridgeError::cannotOpenPath(const std::filesystem::path& url,
                                        const std::string& reason) {
    return BridgeError(Kind::cannotOpen, "Cannot open " + url.string() + ": " + reason);
}

BridgeError BridgeError::emptyDocument() {
    return BridgeError(Kind::emptyDocument, "PDF has zero pages");
}

BridgeError BridgeError::pageOutOfRange() {
    return BridgeError(Kind::pageOutOfRange, "Page index out of range");
}

BridgeError BridgeError::renderFailed() {
    return BridgeError(Kind::renderFailed, "The page could not be drawn");
}

} // namespace ombrix
