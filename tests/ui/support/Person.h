#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <vector>

namespace ombrix::uitest {

// Plays the person at the screen while the event loop runs: answers each password
// dialog in turn (types the answer and presses Return; none presses Escape) and closes
// message boxes, noting what each one said.
class Person : public QObject {
public:
    explicit Person(std::vector<std::optional<QString>> answers = {});

    std::vector<QString> prompts; // the password dialogs' labels
    std::vector<bool> hidden;     // whether each one hid what was typed
    std::vector<QString> alerts;  // "title: text" of each message box
    std::vector<bool> warnings;   // whether each one had the warning icon

private:
    void look();
    std::vector<std::optional<QString>> answers_;
    QTimer timer_;
};

} // namespace ombrix::uitest
