#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/Limits.h"
#include "core/AtomicFile.h"
#include "core/Error.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <vector>

namespace ombrix::cli {

namespace {
std::vector<Command>& table() {
    static std::vector<Command> all;
    return all;
}

void printHelp(std::ostream& out) {
    out << "Usage: ombrix [--help] [--version] <command> [arguments]\n\n"
           "Ombrix PDF on the command line: the reader's extraction and markup, headless.\n\n"
           "Commands:\n";
    std::size_t width = 0;
    for (const auto& c : commands()) {
        width = std::max(width, c.name.size());
    }
    for (const auto& c : commands()) {
        out << "  " << c.name << std::string(width - c.name.size() + 2, ' ') << c.summary << "\n";
    }
    out << "\nPages count from 1 in every command. Annotations are named by the id\n"
           "'annotations' lists: their own name, or PAGE-N for the Nth on a page.\n"
           "\nRun 'ombrix <command> --help' for a command's arguments.\n"
           "OMBRIX_MEMORY_LIMIT_MB (default 1024) and OMBRIX_TIMEOUT_SECONDS (default 60) bound\n"
           "what one command may take; a file that needs more fails with a message.\n\n"
           "Exit status: 0 done; 1 failed; 2 wrong arguments; 3 done, but part of a page's\n"
           "content could not be read (each such page is named on stderr).\n";
}
} // namespace

const std::vector<Command>& commands() {
    auto& all = table();
    std::sort(all.begin(), all.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    return all;
}

CommandRegistration::CommandRegistration(Command command) {
    table().push_back(std::move(command));
}

} // namespace ombrix::cli

int main(int argc, char** argv) {
    using namespace ombrix::cli;
    ombrix::ignoreFileSizeSignal();
    std::vector<std::string> args(argv + 1, argv + argc);
    Io io{std::cout, std::cerr};

    if (args.empty()) {
        printHelp(io.err);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(io.out);
        return kExitOk;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        io.out << "ombrix " << OMBRIX_VERSION << "\n";
        return kExitOk;
    }
    for (const auto& command : commands()) {
        if (command.name != args[0]) {
            continue;
        }
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            io.out << "Usage: ombrix " << command.name
                   << (command.synopsis.empty() ? "" : " " + command.synopsis) << "\n\n"
                   << command.summary << "\n";
            return kExitOk;
        }
        Limits limits;
        try {
            limits = limitsFromEnvironment();
        } catch (const UsageError& e) {
            io.err << "ombrix: " << e.what() << "\n";
            return kExitUsage;
        }
        applyLimits(limits);
        int status = kExitFailure;
        try {
            status = command.run(rest, io);
        } catch (const std::exception& e) {
            io.err << "ombrix " << command.name << ": " << ombrix::describe(e) << "\n";
        }
        // A command the engine stopped for a limit may have half a result: it failed. One
        // whose file was written whole before any limit was reached is done, however long
        // the rest took (it would say it failed with the file changed).
        if (status == kExitOk && ombrix::pdfkit::wroteWithinLimits()) {
            return status;
        }
        if (auto stopped = limitMessage(limits); !stopped.empty()) {
            io.err << "ombrix " << command.name << ": " << stopped << "\n";
            return kExitFailure;
        }
        return status;
    }
    io.err << "ombrix: unknown command '" << args[0] << "'\n";
    printHelp(io.err);
    return kExitUsage;
}
