#include "annotations/AnnotationRecord.h"
#include "cli/AppSession.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/AtomicFile.h"
#include "core/Error.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "document/TabSession.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <sys/stat.h>

namespace ombrix::cli {

namespace {

const std::string kName = "highlight";
const std::string kSynopsis =
    "FILE --page N --rect X,Y,W,H [--underline] [-o OUT.pdf] [--verbose] [--password PW]";

int runHighlight(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--rect", "-o", "--output", "--password"},
                                        {"--underline", "--verbose"});
        auto file = singleFile(arguments);
        const auto [page, bounds] = pageAndRect(arguments);
        auto shortOut = arguments.value("-o"), longOut = arguments.value("--output");
        if (shortOut && longOut) {
            throw UsageError("-o and --output both given");
        }
        const bool underline = arguments.hasFlag("--underline");

        // The copy is what gets opened, marked and saved; the original stays as it was.
        // A device or FIFO given as the output is no document to open: the copy is marked
        // in a scratch folder, and the saved result is written into the output.
        std::filesystem::path target = file;
        std::optional<std::filesystem::path> stream;
        std::optional<Workspace> scratch;
        if (shortOut || longOut) {
            target = shortOut ? *shortOut : *longOut;
            struct stat st {};
            const bool present = ::stat(target.c_str(), &st) == 0;
            if (present && S_ISSOCK(st.st_mode)) {
                throw Error("ombrix", kExitFailure,
                            target.string() + " is a socket, which cannot hold a file");
            }
            if (present && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode))) {
                stream = target;
                scratch.emplace(scratchFolder());
                target = scratch->folder() / std::filesystem::path(file).filename();
            }
            std::error_code same;
            if (!std::filesystem::equivalent(file, target, same)) {
                std::filesystem::copy_file(file, target,
                                           std::filesystem::copy_options::overwrite_existing);
            }
        }

        AppSession session(arguments.hasFlag("--verbose"));
        auto tab = session.open(target, arguments.value("--password"));
        const int index = checkedPageIndex(page, tab->document->pageCount);
        if (auto engine = PDFKitBridge::engineDocument(*tab->document)) {
            if (auto pdfPage = engine->page(index)) {
                checkOnPage(bounds, pdfPage->mediaBox(), page);
            }
        }

        std::vector<Uuid> before;
        for (const auto& record : tab->annotations.get()) {
            before.push_back(record.id);
        }
        session.dispatch(underline ? ActionID::markupUnderline : ActionID::markupHighlight,
                         {{"bounds", bounds}, {"pageIndex", index}});
        const auto& after = tab->annotations.get();
        auto added = std::find_if(after.begin(), after.end(), [&](const AnnotationRecord& r) {
            return std::find(before.begin(), before.end(), r.id) == before.end();
        });
        if (added == after.end()) {
            throw Error("ombrix", kExitFailure, "the page did not take the annotation");
        }
        const AnnotationRecord record = *added;

        // Something on the way was cut short by a limit (the first page's render, the text
        // under the mark): the command fails, so it must not have changed the file.
        if (pdfkit::memoryLimitReached() || pdfkit::deadlineReached() ||
            pdfkit::inflationLimitReached()) {
            throw Error("ombrix", kExitFailure, target.string() + " was left unchanged");
        }
        session.dispatch(ActionID::docSave);
        if (tab->document->isDirty) {
            throw Error("ombrix", kExitFailure,
                        session.lastError().value_or("could not save " + target.string()));
        }

        if (stream) {
            auto saved = readFile(target);
            if (!saved) {
                throw Error("ombrix", kExitFailure, "could not read back " + target.string());
            }
            writeFileAtomically(*stream, *saved);
        }

        nlohmann::ordered_json item;
        item["file"] = (stream ? *stream : target).string();
        item["id"] = record.id.toString();
        item["page"] = record.pageIndex + 1;
        addAnnotationFields(item, record);
        printJson(io, item);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Highlight (or underline) a rectangle of a page and save; the new annotation as JSON",
    runHighlight,
}};

} // namespace

} // namespace ombrix::cli
