#include "core/UserInteraction.h"

namespace ombrix {

std::optional<std::filesystem::path> HeadlessUserInteraction::chooseOnePDF() {
    ++openPanelRequests_;
    return std::nullopt;
}

void HeadlessUserInteraction::showAlert(const std::string& title, const std::string& message,
                                        AlertStyle style) {
    alerts_.push_back(Alert{title, message, style});
}

bool HeadlessUserInteraction::showAlertWithAction(const std::string& title,
                                                  const std::string& message,
                                                  const std::string& actionButton,
                                                  AlertStyle style) {
    alerts_.push_back(Alert{title, message, style});
    actionButtons_.push_back(actionButton);
    return actionAnswer_;
}

void HeadlessUserInteraction::copyToClipboard(const std::string& plainText,
                                              const std::optional<std::string>& html) {
    clipboardText_ = plainText;
    clipboardHTML_ = html;
}

std::optional<std::string> HeadlessUserInteraction::askPassword(const std::string& documentName,
                                                                bool afterWrongPassword) {
    passwordPrompts_.push_back(PasswordPrompt{documentName, afterWrongPassword});
    if (passwordAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(passwordAnswers.front());
    passwordAnswers.pop_front();
    return answer;
}

bool HeadlessUserInteraction::confirm(const std::string& title, const std::string& message,
                                      const std::string&) {
    questions_.push_back(Alert{title, message, AlertStyle::informational});
    return confirmAnswer_;
}

UserInteraction::Choice HeadlessUserInteraction::choose(const std::string& title,
                                                        const std::string& message,
                                                        const std::string&, const std::string&) {
    questions_.push_back(Alert{title, message, AlertStyle::informational});
    if (choiceAnswers.empty()) {
        return Choice::dismissed;
    }
    const Choice answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

} // namespace ombrix
