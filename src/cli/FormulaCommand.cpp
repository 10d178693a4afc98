#include "cli/Command.h"
#include "cli/PageRegion.h"
#include "core/Error.h"
#include "extraction/MathOCRExtractor.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Page.h"

#include <future>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "formula";
const std::string kSynopsis =
    "FILE --page N --rect X,Y,W,H [--server URL] [--mathml] [--password PW]";

int runFormula(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments =
            parseArguments(args, {"--page", "--rect", "--server", "--password"}, {"--mathml"});
        auto region = openPageRegion(arguments);
        auto image = region::formulaImage(*region.page, region.rect);
        if (!image) {
            throw Error("ombrix", 1, "The region does not cover any part of the page");
        }

        MathOCRExtractor client(arguments.value("--server"));
        std::promise<MathOCROutcome> answer;
        auto outcome = answer.get_future();
        client.extractMath(
            *image, [&answer](MathOCROutcome result) { answer.set_value(std::move(result)); });
        const auto result = outcome.get();
        if (const auto* error = std::get_if<std::exception_ptr>(&result)) {
            io.err << "ombrix " << kName << ": " << describe(*error) << "\n";
            return kExitFailure;
        }
        const auto& formula = std::get<MathOCRResult>(result);
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
    "Recognise the formula in a page-space region with the formula server and print its "
    "LaTeX (and MathML)",
    runFormula,
}};

} // namespace

} // namespace ombrix::cli
