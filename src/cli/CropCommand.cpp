#include "cli/Command.h"
#include "cli/PageRegion.h"
#include "extraction/CropWriter.h"
#include "pdfkit/Page.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "crop";
const std::string kSynopsis = "FILE --page N --rect X,Y,W,H [--password PW]";

int runCrop(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto region = openPageRegion(parseArguments(args, {"--page", "--rect", "--password"}));
        // The document itself is left untouched: there is nothing of it to write back here.
        io.out
            << crop::cropToFile(*region.page, region.rect, region.file, region.pageNumber).string()
            << "\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Write the padded page-space region as the next FILE_pageN_seqNNN.pdf beside the file: a "
    "page of the region's size, drawn at 8 pixels per point; FILE itself is left untouched",
    runCrop,
}};

} // namespace

} // namespace ombrix::cli
