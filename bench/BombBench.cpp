// Decompression bombs (a few KB, or a hundredth of their content, inflating to gigabytes of text
// operators) given to our command-line tool and to mutool side by side: wall time, peak memory and
// how each ended. mutool runs under `timeout` so it cannot hold the run up.
//
//   ombrix_bomb_bench [--gib N] [--mutool-timeout SECONDS] [--ombrix PATH]
//   (defaults: a 2 GiB bomb, 60 s for mutool, the ombrix built with this program)

#include "BenchSupport.h"
#include "support/DecompressionBomb.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ombrix::bench::measureProcess;
using ombrix::bench::ProcessUsage;

namespace {

// The last thing a program said: why it stopped.
std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const auto start = text.rfind('\n');
    return start == std::string::npos ? text : text.substr(start + 1);
}

void report(const char* tool, const std::string& what, const ProcessUsage& run) {
    std::string ending = run.exitStatus < 0      ? "killed"
                         : run.exitStatus == 124 ? "timed out"
                                                 : "exit " + std::to_string(run.exitStatus);
    std::printf("%-7s %-7s %9.0f ms %9.1f MB  %s  %s\n", tool, what.c_str(), run.ms,
                double(run.peakKiB) / 1024, ending.c_str(), lastLine(run.stderrText).c_str());
}

void runTasks(const fs::path& ombrix, const fs::path& bomb, const fs::path& dir,
              const std::string& mutoolTimeout) {
    const std::string file = bomb.string();
    const std::string png = (dir / "page.png").string();
    struct Task {
        std::string name;
        std::vector<std::string> ours;
        std::vector<std::string> theirs;
    };
    const std::vector<Task> tasks = {
        {"render",
         {ombrix.string(), "render", file, "--page", "1", "-o", png},
         {"timeout", mutoolTimeout, "mutool", "draw", "-q", "-r", "144", "-o", png, file, "1"}},
        {"text",
         {ombrix.string(), "text", file, "--page", "1"},
         {"timeout", mutoolTimeout, "mutool", "draw", "-q", "-F", "txt", "-o", "/dev/null", file,
          "1"}},
        {"search",
         {ombrix.string(), "search", file, "AAAB"},
         {"timeout", mutoolTimeout, "mutool", "draw", "-q", "-F", "txt", "-o", "/dev/null", file}},
    };
    for (const auto& task : tasks) {
        report("ombrix", task.name, measureProcess(task.ours));
        report("mutool", task.name, measureProcess(task.theirs));
    }
}

} // namespace

int main(int argc, char** argv) {
    double gib = 2;
    std::string mutoolTimeout = "60";
    fs::path ombrix = OMBRIX_CLI_PATH;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--gib") {
            gib = std::atof(argv[i + 1]);
        } else if (option == "--mutool-timeout") {
            mutoolTimeout = argv[i + 1];
        } else if (option == "--ombrix") {
            ombrix = argv[i + 1];
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("ombrix-bomb-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // Two deflates stacked (what the inflation limit refuses), then one deflate (a file a
    // hundredth of its content's size, which only the memory cap and deadline stop).
    for (const bool stacked : {true, false}) {
        const fs::path bomb = dir / (stacked ? "stacked.pdf" : "single.pdf");
        ombrix::testing::writeDecompressionBomb(bomb, std::uint64_t(gib * double(1u << 30)),
                                                stacked);
        std::printf("%s bomb: %.1f KB inflating to %.1f GiB of content; ombrix with its defaults "
                    "(OMBRIX_MEMORY_LIMIT_MB=1024, OMBRIX_TIMEOUT_SECONDS=60), mutool under "
                    "timeout %s s\n\n",
                    stacked ? "two-deflate" : "one-deflate", double(fs::file_size(bomb)) / 1024,
                    gib, mutoolTimeout.c_str());
        std::printf("%-7s %-7s %12s %12s  %s\n", "tool", "task", "time", "peak RSS", "ending");
        runTasks(ombrix, bomb, dir, mutoolTimeout);
        std::printf("\n");
    }
    fs::remove_all(dir);
    return 0;
}
