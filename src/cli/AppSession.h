#pragma once

#include "contracts/ActionID.h"
#include "contracts/DispatchContext.h"
#include "contracts/Outcome.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace ombrix {
class AppContainer;
class RunLoop;
class TabSession;
namespace pdfkit {
class Document;
class Page;
} // namespace pdfkit
} // namespace ombrix

namespace ombrix::cli {

// The application's container, started for one command: a deterministic main queue,
// nobody to ask, and log lines on stderr only when verbose. Commands drive it through
// dispatches from "API", as a script would the running application.
class AppSession {
public:
    explicit AppSession(bool verbose);
    ~AppSession();

    AppContainer& container() const { return *container_; }
    RunLoop& mainQueue() const { return *loop_; }

    // How the action ended, as its handler says.
    Outcome dispatch(ActionID action, DispatchParams params = {});
    // "doc.open" of the file, unlocked with `password` when it needs one; the tab it
    // opened. Throws the bridge's error saying why when it cannot be opened.
    std::shared_ptr<TabSession> open(const std::filesystem::path& file,
                                     const std::optional<std::string>& password = std::nullopt);

    // The tab's engine document, or the page of it a 1-based number as typed names; an
    // ombrix::Error naming the range, or saying the page cannot be read, otherwise.
    std::shared_ptr<pdfkit::Document> engine(const std::shared_ptr<TabSession>& tab) const;
    std::shared_ptr<pdfkit::Page> page(const std::shared_ptr<TabSession>& tab,
                                       std::string_view pageText) const;

    // Writes what the command changed in the tab: into `output` when given (the original
    // stays as it was and the output is replaced whole or not at all), else over the file
    // through "doc.save". When a limit cut something short on the way nothing is written
    // and the command fails. Throws ombrix::Error saying why.
    void save(const std::shared_ptr<TabSession>& tab,
              const std::optional<std::filesystem::path>& output = std::nullopt);

private:
    class Sink;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<RunLoop> loop_;
    std::unique_ptr<AppContainer> container_;
};

} // namespace ombrix::cli
