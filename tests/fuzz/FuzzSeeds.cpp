// Writes every test fixture, broken ones included, into the folder given: the seeds of
// the fuzz corpus.

#include "support/Fixtures.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    namespace fx = ombrix::testing;
    if (argc != 2) {
        std::fprintf(stderr, "usage: ombrix_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    fx::writePdf(fx::textDocument(3), folder / "text.pdf");
    fx::writePdf(fx::tableDocument(), folder / "table.pdf");
    fx::writePdf(fx::rotatedDocument(), folder / "rotated.pdf");
    fx::writePdf(fx::labelledDocument(), folder / "labelled.pdf");
    fx::writePdf(fx::everyAnnotationDocument(), folder / "annotations.pdf");
    fx::writePdf(fx::pageBreakDocument(), folder / "break.pdf");
    fx::writeEncryptedPdf(folder / "encrypted.pdf");
    fx::writeZeroPagePdf(folder / "empty.pdf");
    fx::writeTruncatedPdf(folder / "truncated.pdf");
    fx::writeGarbagePdf(folder / "garbage.pdf");
    return 0;
}
