#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// How an alert presents itself: a report, or a warning that something did not work.
enum class AlertStyle { informational, warning };

// Everything the core asks of the person in front of the screen. The desktop app answers
// with dialogs, the clipboard and its application object; the command-line tool and the
// tests with HeadlessUserInteraction. Called on the main thread.
class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // One PDF file the user picks: only PDF files selectable, a single file, folders not
    // selectable. None when the user cancels or confirms without a choice.
    virtual std::optional<std::filesystem::path> chooseOnePDF() = 0;

    // Asks the application to quit once the current event is done.
    virtual void requestTermination() = 0;

    // A modal alert with one "OK" button.
    virtual void showAlert(const std::string& title, const std::string& message,
                           AlertStyle style = AlertStyle::informational) = 0;
    // A modal alert with "OK" and `actionButton`; true only when the user chose the action.
    virtual bool showAlertWithAction(const std::string& title, const std::string& message,
                                     const std::string& actionButton,
                                     AlertStyle style = AlertStyle::informational) = 0;
    // Opens the folder in the user's file manager.
    virtual void showFolder(const std::filesystem::path& folder) = 0;
    virtual void beep() = 0;

    // Replaces the clipboard's contents with the text, and with the HTML form when given.
    virtual void copyToClipboard(const std::string& plainText,
                                 const std::optional<std::string>& html = std::nullopt) = 0;

    // The password of an encrypted document, typed hidden. `afterWrongPassword` says the
    // last one did not open it, so the prompt says so. None when the user cancels.
    virtual std::optional<std::string> askPassword(const std::string& documentName,
                                                   bool afterWrongPassword) = 0;

    // A modal question with `confirmButton` and "Cancel"; true only when the user confirms.
    virtual bool confirm(const std::string& title, const std::string& message,
                         const std::string& confirmButton) = 0;

    // A modal question with two answers, the first the default. Dismissed (Escape, the
    // window closed) is neither: the caller asks again another time.
    enum class Choice { first, second, dismissed };
    virtual Choice choose(const std::string& title, const std::string& message,
                          const std::string& firstButton, const std::string& secondButton) = 0;
};

// Nobody to ask: never blocks, chooses no file, and keeps what it was told so a caller
// (or a test) can read it back.
class HeadlessUserInteraction final : public UserInteraction {
public:
    struct Alert {
        std::string title;
        std::string message;
        AlertStyle style = AlertStyle::informational;
        bool operator==(const Alert&) const = default;
    };

    std::optional<std::filesystem::path> chooseOnePDF() override;
    void requestTermination() override { ++terminationRequests_; }
    void showAlert(const std::string& title, const std::string& message,
                   AlertStyle style = AlertStyle::informational) override;
    // Records the alert among alerts() and gives the answer set with setActionAnswer, no
    // by default.
    bool showAlertWithAction(const std::string& title, const std::string& message,
                             const std::string& actionButton,
                             AlertStyle style = AlertStyle::informational) override;
    void setActionAnswer(bool answer) { actionAnswer_ = answer; }
    // The action buttons of the alerts that had one, in order.
    const std::vector<std::string>& actionButtons() const { return actionButtons_; }
    void showFolder(const std::filesystem::path& folder) override {
        shownFolders_.push_back(folder);
    }
    const std::vector<std::filesystem::path>& shownFolders() const { return shownFolders_; }
    void beep() override { ++beeps_; }
    void copyToClipboard(const std::string& plainText,
                         const std::optional<std::string>& html = std::nullopt) override;
    // Answers from `passwordAnswers`, front first; cancels once they run out.
    std::optional<std::string> askPassword(const std::string& documentName,
                                           bool afterWrongPassword) override;

    struct PasswordPrompt {
        std::string documentName;
        bool afterWrongPassword = false;
        bool operator==(const PasswordPrompt&) const = default;
    };
    std::deque<std::optional<std::string>> passwordAnswers;
    const std::vector<PasswordPrompt>& passwordPrompts() const { return passwordPrompts_; }
    // Records the question (as an Alert) and gives the answer set with setConfirmAnswer,
    // no by default.
    bool confirm(const std::string& title, const std::string& message,
                 const std::string& confirmButton) override;
    void setConfirmAnswer(bool answer) { confirmAnswer_ = answer; }
    const std::vector<Alert>& questions() const { return questions_; }
    // Records the question among questions() and gives the answers of `choiceAnswers`,
    // front first; dismissed once they run out.
    Choice choose(const std::string& title, const std::string& message,
                  const std::string& firstButton, const std::string& secondButton) override;
    std::deque<Choice> choiceAnswers;

    std::size_t openPanelRequests() const { return openPanelRequests_; }
    std::size_t terminationRequests() const { return terminationRequests_; }
    std::size_t beeps() const { return beeps_; }
    const std::vector<Alert>& alerts() const { return alerts_; }
    const std::string& clipboardText() const { return clipboardText_; }
    const std::optional<std::string>& clipboardHTML() const { return clipboardHTML_; }

private:
    std::size_t openPanelRequests_ = 0;
    std::size_t terminationRequests_ = 0;
    std::size_t beeps_ = 0;
    std::vector<Alert> alerts_;
    std::string clipboardText_;
    std::optional<std::string> clipboardHTML_;
    std::vector<PasswordPrompt> passwordPrompts_;
    bool confirmAnswer_ = false;
    std::vector<Alert> questions_;
    bool actionAnswer_ = false;
    std::vector<std::string> actionButtons_;
    std::vector<std::filesystem::path> shownFolders_;
};

} // namespace ombrix

OMBRIX_API_END
