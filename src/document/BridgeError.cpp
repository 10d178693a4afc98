#include "document/BridgeError.h"

namespace ombrix {

namespace {
constexpr const char* kDomain = "BridgeError";

std::string lastComponent(const std::filesystem::path& url) {
    auto name = url.filename();
    if (name.empty()) {
        name = url.parent_path().filename();
    }
    return name.string();
}
} // namespace

BridgeError::BridgeError(Kind kind, std::string description)
    : Error(kDomain, static_cast<int>(kind), std::move(description)), kind_(kind) {}

BridgeError BridgeError::cannotOpen(const std::filesystem::path& url) {
    return BridgeError(Kind::cannotOpen, "Cannot open " + lastComponent(url));
}

BridgeError BridgeError::cannotOpen(const std::filesystem::path& url, const std::string& reason) {
    return BridgeError(Kind::cannotOpen, "Cannot open " + lastComponent(url) + ": " + reason);
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
