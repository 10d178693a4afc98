#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QMessageBox;

namespace ombrix::ui {

// The questions the window asks about a document's unsaved work. The desktop answers
// with message boxes and the save panel; tests script the answers. GUI thread only.
class DocumentQuestions {
public:
    enum class UnsavedAnswer { save, discard, cancel };
    enum class ChangedOnDiskAnswer { reload, saveCopy, cancel };

    virtual ~DocumentQuestions() = default;
    // Closing a tab or quitting while `documentName` has changes not yet saved.
    virtual UnsavedAnswer askUnsaved(const std::string& documentName) = 0;
    // A save refused because the file changed on disk since it was opened.
    virtual ChangedOnDiskAnswer askChangedOnDisk(const std::string& documentName) = 0;
    // Where to write a copy; none when the user cancels.
    virtual std::optional<std::filesystem::path>
    chooseCopyPath(const std::filesystem::path& suggestion) = 0;
};

// Asks with Qt's message boxes and file dialog, centred on the parent when it is alive.
class QtDocumentQuestions final : public DocumentQuestions {
public:
    explicit QtDocumentQuestions(QWidget* parent = nullptr) : parent_(parent) {}

    UnsavedAnswer askUnsaved(const std::string& documentName) override;
    ChangedOnDiskAnswer askChangedOnDisk(const std::string& documentName) override;
    std::optional<std::filesystem::path>
    chooseCopyPath(const std::filesystem::path& suggestion) override;

    // The boxes themselves, unshown (for screenshots); the caller owns them.
    static std::unique_ptr<QMessageBox> unsavedBox(const std::string& documentName,
                                                   QWidget* parent);
    static std::unique_ptr<QMessageBox> changedOnDiskBox(const std::string& documentName,
                                                         QWidget* parent);

private:
    QPointer<QWidget> parent_;
};

} // namespace ombrix::ui
