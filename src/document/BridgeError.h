#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Error.h"

#include <filesystem>
#include <string>

namespace ombrix {

// Failures of the document engine bridge; the description is what users see.
class BridgeError : public Error {
public:
    enum class Kind { cannotOpen, emptyDocument, pageOutOfRange, renderFailed };

    static BridgeError cannotOpen(const std::filesystem::path& url);
    // "Cannot open NAME: " and why, e.g. "it needs a password".
    static BridgeError cannotOpen(const std::filesystem::path& url, const std::string& reason);
    // The same, naming the whole path: for a file that is not a regular one, whose last
    // component alone ("zero") would not say which file it was.
    static BridgeError cannotOpenPath(const std::filesystem::path& url, const std::string& reason);
    static BridgeError emptyDocument();
    static BridgeError pageOutOfRange();
    static BridgeError renderFailed();

    Kind kind() const { return kind_; }
    bool operator==(const BridgeError& other) const {
        return kind_ == other.kind_ && description() == other.description();
    }

private:
    BridgeError(Kind kind, std::string description);
    Kind kind_;
};

} // namespace ombrix

OMBRIX_API_END
