#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Logging.h"
#include "pdfkit/Document.h"

#include <filesystem>
#include <memory>
#include <string>

namespace ombrix {

class UserInteraction;

// What became of a file the user asked to open.
struct OpenedFile {
    std::shared_ptr<pdfkit::Document> document; // set when it opened and is unlocked
    bool cancelled = false;                     // the user gave up at the password prompt
    std::string failure;                        // why it did not open; empty otherwise
};

// Finishes opening on the main thread once pdfkit::Document::openFile (which may run on
// any thread) has answered: a locked document asks for its password until one opens it
// or the user cancels (a quiet outcome: no failure text); a repaired one opens and the
// repair is logged; the other outcomes carry the reason for the user.
OpenedFile finishOpening(pdfkit::OpenResult result, const std::filesystem::path& path,
                         UserInteraction& user, const Logging& logging);

} // namespace ombrix

OMBRIX_API_END
