#include "cli/Command.h"
#include "cli/PageRegion.h"
#include "core/Error.h"
#include "extraction/FormulaRecognizer.h"
#include "extraction/FormulaSource.h"
#include "extraction/MathOCRExtractor.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Page.h"

#include <future>
#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "formula";
const std::string kSynopsis =
    "FILE --page N --rect X,Y,W,H [--format latex|mathml|json] [--source page|server|auto] "
    "[--server URL] [--mathml] [--password PW]";

struct Answer {
    MathOCRResult formula;
    std::string source;
};

MathOCROutcome askServer(const PageRegion& region, MathOCRExtractor& client) {
    auto image = region::formulaImage(*region.page, region.rect);
    if (!image) {
        throw Error("ombrix", 1, "The region does not cover any part of the page");
    }
    std::promise<MathOCROutcome> answer;
    auto outcome = answer.get_future();
    client.extractMath(*image,
                       [&answer](MathOCROutcome result) { answer.set_value(std::move(result)); });
    return outcome.get();
}

int runFormula(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(
            args, {"--page", "--rect", "--server", "--password", "--format", "--source"},
            {"--mathml"});
        const std::string format = arguments.value("--format").value_or("latex");
        if (format != "latex" && format != "mathml" && format != "json") {
            throw UsageError("unknown format '" + format + "'");
        }
        const auto source = formulaSourceFromName(arguments.value("--source").value_or("auto"));
        if (!source) {
            throw UsageError("unknown source '" + *arguments.value("--source") + "'");
        }
        auto region = openPageRegion(arguments);

        Answer answer;
        if (*source != FormulaSource::server) {
            if (auto found = FormulaRecognizer::recognize(*region.page, region.rect)) {
                answer = Answer{std::move(*found), "page"};
            } else if (*source == FormulaSource::page) {
                io.err << "ombrix " << kName << ": " << kNoFormulaGlyphs << "\n";
                return kExitFailure;
            }
        }
        if (answer.source.empty()) {
            MathOCRExtractor client(arguments.value("--server"));
            const auto result = askServer(region, client);
            if (const auto* error = std::get_if<std::exception_ptr>(&result)) {
                const std::string reason = describe(*error);
                io.err << "ombrix " << kName << ": "
                       << (*source == FormulaSource::automatic
                               ? noFormulaMessage(client.serverURL(), reason)
                               : reason)
                       << "\n";
                return kExitFailure;
            }
            answer = Answer{std::get<MathOCRResult>(result), "server"};
        }

        const auto& formula = answer.formula;
        if (format == "json") {
            nlohmann::ordered_json out;
            out["latex"] = formula.latex;
            out["mathml"] = formula.mathml ? nlohmann::ordered_json(*formula.mathml)
                                           : nlohmann::ordered_json(nullptr);
            out["source"] = answer.source;
            io.out << out.dump(2) << "\n";
            return kExitOk;
        }
        if (format == "mathml") {
            if (!formula.mathml) {
                io.err << "ombrix " << kName << ": the " << answer.source << " gave no MathML\n";
                return kExitFailure;
            }
            io.out << *formula.mathml << "\n";
            return kExitOk;
        }
        io.out << formula.latex << "\n";
        if (arguments.hasFlag("--mathml")) {
            if (formula.mathml) {
                io.out << *formula.mathml << "\n";
            } else {
                io.err << "ombrix " << kName << ": the server sent no MathML\n";
            }
        }
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Read the formula in a page-space region and print its LaTeX (or MathML, or both as "
    "JSON): from the page's own glyphs, else from the formula server",
    runFormula,
}};

} // namespace

} // namespace ombrix::cli
