#include "document/DocumentOpening.h"

#include "core/UserInteraction.h"
#include "document/PDFDocument.h"

namespace ombrix {

OpenedFile finishOpening(pdfkit::OpenResult result, const std::filesystem::path& path,
                         UserInteraction& user, const Logging& logging) {
    using pdfkit::OpenStatus;
    const std::string name = documentName(path);
    OpenedFile opened;
    switch (result.status) {
    case OpenStatus::opened:
        opened.document = std::move(result.document);
        break;
    case OpenStatus::openedWithRepairs:
        logging.info("Opened " + path.filename().string() + " after repairing it" +
                     (result.message.empty() ? "" : ": " + result.message));
        opened.document = std::move(result.document);
        break;
    case OpenStatus::needsPassword: {
        if (!result.document) {
            opened.failure = result.message;
            break;
        }
        bool wrong = false;
        while (result.document->isLocked()) {
            auto password = user.askPassword(name, wrong);
            if (!password) {
                logging.info("Password prompt for " + path.filename().string() + " cancelled");
                opened.cancelled = true;
                return opened;
            }
            wrong = !result.document->authenticate(*password);
        }
        opened.document = std::move(result.document);
        break;
    }
    default:
        opened.failure = result.message.empty() ? "The file could not be opened." : result.message;
        break;
    }
    return opened;
}

} // namespace ombrix
