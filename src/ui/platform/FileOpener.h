#pragma once

#include "core/Logging.h"
#include "document/PDFDocument.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>

namespace ombrix {
class UserInteraction;
}

namespace ombrix::ui {

// Opens PDF files without holding up the GUI thread: the file is parsed on a pool
// thread, then finished on the GUI thread (password prompts, a log line for repaired
// files, an alert with the reason when it cannot be opened). Create and call on the GUI
// thread; `done` runs there, with the document, or with nullptr when the file did not
// open or the user cancelled (quietly).
class FileOpener : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(std::shared_ptr<PDFDocument>)>;

    FileOpener(UserInteraction& user, Logging logging, QObject* parent = nullptr);

    void open(const std::filesystem::path& path, Done done);

    // Files handed over and not yet finished.
    int pending() const { return pending_; }

private:
    UserInteraction& user_;
    Logging logging_;
    int pending_ = 0;
};

} // namespace ombrix::ui
