#include "annotations/AnnotationRecord.h"
#include "cli/AppSession.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
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
#include <optional>
#include <ostream>
#include <sstream>

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

        // With -o the original is opened and marked, and only the output is written: the
        // original stays as it was, and the output is replaced whole or not at all.
        std::optional<std::filesystem::path> output;
        if (shortOut || longOut) {
            output = shortOut ? *shortOut : *longOut;
            std::error_code same;
            if (std::filesystem::equivalent(file, *output, same)) {
                output.reset();
            }
        }
        const std::filesystem::path target = output.value_or(file);

        AppSession session(arguments.hasFlag("--verbose"));
        auto tab = session.open(file, arguments.value("--password"));
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
        if (output) {
            auto engine = PDFKitBridge::engineDocument(*tab->document);
            if (!engine) {
                throw Error("ombrix", kExitFailure, "could not write " + output->string());
            }
            engine->write(*output);
        } else {
            session.dispatch(ActionID::docSave);
            if (tab->document->isDirty) {
                throw Error("ombrix", kExitFailure,
                            session.lastError().value_or("could not save " + target.string()));
            }
        }

        nlohmann::ordered_json item;
        item["file"] = target.string();
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
