#pragma once

#include "core/UserInteraction.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QMessageBox;

namespace ombrix::ui {

// The person at the screen, asked through Qt: modal message boxes, the file dialog, the
// system beep, the clipboard and a hidden-text password dialog. GUI thread only.
// Dialogs are centred on the parent widget when one is set (it may be destroyed first).
class QtUserInteraction final : public UserInteraction {
public:
    explicit QtUserInteraction(QWidget* parent = nullptr) : parent_(parent) {}

    void setParentWidget(QWidget* parent) { parent_ = parent; }

    std::optional<std::filesystem::path> chooseOnePDF() override;
    void requestTermination() override;
    void showAlert(const std::string& title, const std::string& message,
                   AlertStyle style = AlertStyle::informational) override;
    // The alert showAlertWithAction runs: the message, the action button and "OK".
    static std::unique_ptr<QMessageBox> actionAlertBox(const std::string& title,
                                                       const std::string& message,
                                                       const std::string& actionButton,
                                                       AlertStyle style, QWidget* parent);
    bool showAlertWithAction(const std::string& title, const std::string& message,
                             const std::string& actionButton,
                             AlertStyle style = AlertStyle::informational) override;
    void showFolder(const std::filesystem::path& folder) override;
    void beep() override;
    void copyToClipboard(const std::string& plainText,
                         const std::optional<std::string>& html = std::nullopt) override;
    std::optional<std::string> askPassword(const std::string& documentName,
                                           bool afterWrongPassword) override;
    bool confirm(const std::string& title, const std::string& message,
                 const std::string& confirmButton) override;
    Choice choose(const std::string& title, const std::string& message,
                  const std::string& firstButton, const std::string& secondButton) override;

    // The prompt's text, shared with the tests that type into the dialog.
    static QString passwordPromptText(const std::string& documentName, bool afterWrongPassword);

private:
    QPointer<QWidget> parent_;
};

} // namespace ombrix::ui
