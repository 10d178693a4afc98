#include "cli/AppSession.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/Error.h"
#include "core/RunLoop.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "search";
const std::string kSynopsis = "FILE QUERY [--verbose] [--password PW]";

int runSearch(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--password"}, {"--verbose"});
        if (arguments.positionals.size() != 2) {
            throw UsageError("expected FILE and QUERY");
        }
        const std::filesystem::path file = arguments.positionals[0];
        const std::string query = arguments.positionals[1];
        if (query.empty()) {
            throw UsageError("the query is empty");
        }
        // The search ignores blanks at either end, so a query of blanks alone finds nothing.
        if (query.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
            throw UsageError("the query has only blanks");
        }

        AppSession session(arguments.hasFlag("--verbose"));
        auto tab = session.open(file, arguments.value("--password"));
        bool written = false;
        auto watch = tab->searchResults.observe([&](const auto&) { written = true; });
        session.dispatch(ActionID::editFind, {{"query", query}});
        // The handler hands the results to the tab in a main-queue job.
        if (!session.mainQueue().runUntil([&] { return written; }, std::chrono::seconds(60))) {
            throw Error("ombrix", kExitFailure, "the search results never arrived");
        }

        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& result : tab->searchResults.get()) {
            nlohmann::ordered_json item;
            item["page"] = result.pageIndex + 1;
            item["text"] = result.text;
            item["bounds"] = rectJson(result.bounds);
            list.push_back(std::move(item));
        }
        printJson(io, list);
        // Pages that could be read only in part were searched as far as they could be.
        const auto engine = PDFKitBridge::engineDocument(*tab->document);
        const auto damaged = engine ? engine->damagedPages() : std::vector<int>();
        for (int page : damaged) {
            io.err << "ombrix " << kName << ": page " << page + 1
                   << ": part of the page's content could not be read; it was searched as far "
                      "as it could be\n";
        }
        return damaged.empty() ? kExitOk : kExitDamagedPage;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Find a text in a PDF, case-insensitively; the results as JSON: page (from 1), text, bounds",
    runSearch,
}};

} // namespace

} // namespace ombrix::cli
