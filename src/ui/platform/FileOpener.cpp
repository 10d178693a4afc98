#include "ui/platform/FileOpener.h"

#include "core/Error.h"
#include "core/Executor.h"
#include "core/UserInteraction.h"
#include "document/DocumentOpening.h"
#include "document/PDFKitBridge.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

namespace ombrix::ui {

namespace {
constexpr qint64 kSliceMs = 8; // of finishing work between two turns of the event loop
}

FileOpener::FileOpener(UserInteraction& user, Logging logging, QObject* parent)
    : QObject(parent), user_(user), logging_(std::move(logging)) {}

void FileOpener::open(const std::filesystem::path& path, Done done) {
    ++pending_;
    QPointer<FileOpener> self(this);
    Parsed parsed;
    parsed.path = path;
    parsed.order = opened_++;
    parsed.done = std::move(done);
    QThreadPool::globalInstance()->start([self, parsed = std::move(parsed)]() mutable {
        parsed.result = pdfkit::Document::openFile(parsed.path);
        if (parsed.result.status == pdfkit::OpenStatus::opened) {
            try {
                parsed.record = PDFKitBridge::makeDocument(parsed.result.document, parsed.path);
            } catch (const std::exception& e) {
                parsed.failure = describe(e);
            }
        }
        mainQueue().post([self, parsed = std::move(parsed)]() mutable {
            if (self) {
                self->arrive(std::move(parsed));
            }
        });
    });
}

void FileOpener::arrive(Parsed parsed) {
    arrived_.push_back(std::move(parsed));
    if (!finishing_ && !pumpScheduled_) {
        pumpScheduled_ = true;
        QTimer::singleShot(1, this, &FileOpener::pump);
    }
}

void FileOpener::pump() {
    pumpScheduled_ = false;
    if (finishing_) {
        return; // a password prompt of an earlier file is up: the rest wait their turn
    }
    // Files finished while a prompt is up wait their turn; a long run of files yields to
    // the event loop between slices, so the window keeps drawing and taking input.
    QPointer<FileOpener> self(this);
    QElapsedTimer slice;
    slice.start();
    finishing_ = true;
    while (!arrived_.empty() && slice.elapsed() < kSliceMs) {
        Parsed next = std::move(arrived_.front());
        arrived_.pop_front();
        finish(std::move(next));
        if (!self) {
            return; // the window closed under a prompt
        }
    }
    finishing_ = false;
    if (!arrived_.empty()) {
        pumpScheduled_ = true;
        QTimer::singleShot(1, this, &FileOpener::pump);
    } else if (pending_ == 0) {
        failures_.show(user_);
    }
}

void FileOpener::finish(Parsed parsed) {
    std::shared_ptr<PDFDocument> record = std::move(parsed.record);
    std::string failure = std::move(parsed.failure);
    bool cancelled = false;
    if (!record && failure.empty()) {
        QPointer<FileOpener> self(this);
        OpenedFile opened = finishOpening(std::move(parsed.result), parsed.path, user_, logging_);
        if (!self) {
            return; // the window closed under the password prompt
        }
        cancelled = opened.cancelled;
        failure = opened.failure;
        if (opened.document) {
            try {
                record = PDFKitBridge::makeDocument(opened.document, parsed.path);
            } catch (const std::exception& e) {
                failure = describe(e);
            }
        }
    }
    if (!record && !cancelled) {
        logging_.error("Cannot open " + parsed.path.string() + ": " + failure);
        failures_.add(parsed.path, failure, parsed.order);
    }
    --pending_;
    parsed.done(record);
}

} // namespace ombrix::ui
