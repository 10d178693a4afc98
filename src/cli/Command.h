#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ombrix::cli {

struct Io {
    std::ostream& out;
    std::ostream& err;
};

// One subcommand of the tool. Each lives in a file of its own and registers itself
// with a static CommandRegistration.
struct Command {
    std::string name;
    std::string synopsis; // arguments, as shown by --help
    std::string summary;  // one line
    std::function<int(const std::vector<std::string>& args, Io& io)> run;
};

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// Done, but part of a page's content could not be read (said on stderr for each page):
// the text, results or image hold only what could be.
inline constexpr int kExitDamagedPage = 3;

const std::vector<Command>& commands();

struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

} // namespace ombrix::cli
