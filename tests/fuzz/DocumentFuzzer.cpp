// libFuzzer target: one input is one PDF file, taken through what the reader does with a
// file it is handed (Exercise.h). Built only with -DOMBRIX_FUZZ=ON (clang); run it with
// scripts/fuzz.

#include "Exercise.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    static const fs::path work = [] {
        fs::path made = fs::temp_directory_path() / ("ombrix-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(made);
        return made;
    }();
    const fs::path input = work / "input.pdf";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    const std::string broken = ombrix::testing::exerciseWithinLimits(input, work);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
