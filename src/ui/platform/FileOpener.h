#pragma once

#include "core/Logging.h"
#include "document/OpenFailureReport.h"
#include "document/PDFDocument.h"
#include "pdfkit/Document.h"

#include <QObject>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

namespace ombrix {
class UserInteraction;
}

namespace ombrix::ui {

// Opens PDF files without holding up the GUI thread: the file is parsed on a pool
// thread, then finished on the GUI thread (password prompts, a log line for repaired
// files). Files are finished one at a time, so a prompt never opens inside another
// one, and in short slices, so a burst of files never holds the event loop for long. Those that
// cannot be opened are told in one alert with the reasons once every file asked for has finished,
// however many failed. Create and call on the GUI thread; `done` runs there, with the document, or
// with nullptr when the file did not open or the user cancelled (quietly).
class FileOpener : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(std::shared_ptr<PDFDocument>)>;

    FileOpener(UserInteraction& user, Logging logging, QObject* parent = nullptr);

    void open(const std::filesystem::path& path, Done done);

    // Files handed over and not yet finished.
    int pending() const { return pending_; }

private:
    // A file parsed on the pool, waiting for its turn on the GUI thread.
    struct Parsed {
        std::filesystem::path path;
        Done done;
        pdfkit::OpenResult result;
        std::shared_ptr<PDFDocument> record; // made on the pool when the file opened unlocked
        std::string failure;
        std::size_t order = 0;
    };
    void arrive(Parsed parsed);
    void pump();
    void finish(Parsed parsed);

    UserInteraction& user_;
    Logging logging_;
    int pending_ = 0;
    std::size_t opened_ = 0; // files handed to open(), for the order of the alert
    std::deque<Parsed> arrived_;
    bool finishing_ = false;
    bool pumpScheduled_ = false;
    OpenFailureReport failures_;
};

} // namespace ombrix::ui
