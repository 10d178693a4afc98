#include "ui/platform/FileOpener.h"

#include "app/UserInteraction.h"
#include "core/Error.h"
#include "core/Executor.h"
#include "document/DocumentOpening.h"
#include "document/PDFKitBridge.h"

#include <QPointer>
#include <QThreadPool>

namespace ombrix::ui {

namespace {

struct Parsed {
    pdfkit::OpenResult result;
    std::shared_ptr<PDFDocument> record; // made on the pool when the file opened unlocked
    std::string failure;
};

} // namespace

FileOpener::FileOpener(UserInteraction& user, Logging logging, QObject* parent)
    : QObject(parent), user_(user), logging_(std::move(logging)) {}

void FileOpener::open(const std::filesystem::path& path, Done done) {
    ++pending_;
    QPointer<FileOpener> self(this);
    auto finish = [self, path, done = std::move(done)](Parsed parsed) mutable {
        if (!self) {
            return;
        }
        --self->pending_;
        std::shared_ptr<PDFDocument> record = std::move(parsed.record);
        std::string failure = std::move(parsed.failure);
        if (!record && failure.empty()) {
            OpenedFile opened =
                finishOpening(std::move(parsed.result), path, self->user_, self->logging_);
            if (opened.cancelled) {
                done(nullptr);
                return;
            }
            failure = opened.failure;
            if (opened.document) {
                try {
                    record = PDFKitBridge::makeDocument(opened.document, path);
                } catch (const std::exception& e) {
                    failure = describe(e);
                }
            }
        }
        if (!record) {
            self->logging_.error("Cannot open " + path.string() + ": " + failure);
            self->user_.showAlert("“" + path.filename().string() + "” cannot be opened", failure,
                                  AlertStyle::warning);
        }
        done(record);
    };
    QThreadPool::globalInstance()->start([path, finish = std::move(finish)]() mutable {
        Parsed parsed;
        parsed.result = pdfkit::Document::openFile(path);
        const auto status = parsed.result.status;
        if (status == pdfkit::OpenStatus::opened) {
            try {
                parsed.record = PDFKitBridge::makeDocument(parsed.result.document, path);
            } catch (const std::exception& e) {
                parsed.failure = describe(e);
            }
        }
        mainQueue().post([finish = std::move(finish), parsed = std::move(parsed)]() mutable {
            finish(std::move(parsed));
        });
    });
}

} // namespace ombrix::ui
