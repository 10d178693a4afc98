#pragma once

#include "ui/canvas/FloatingCard.h"

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ombrix::ui {

// The card that shows a selected annotation's text: the title "Annotation", the text in a
// scrolling 240 × 100 area, and the buttons "Close", "Edit" and "Copy". "Edit" makes the
// text editable in place, with "Save" and "Cancel". Sized to its contents;
// the wrapper places it next to the annotation. GUI thread only.
class TextPopover : public FloatingCard {
    Q_OBJECT
public:
    explicit TextPopover(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

    QPushButton* closeButton() const { return close_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

    void setEditing(bool editing);
    bool isEditing() const { return editing_; }

    std::function<void()> onClose;
    std::function<void()> onCopy;
    // The edited text, when "Save" is pressed (or Ctrl+Return typed).
    std::function<void(const QString&)> onSave;

private:
    QLabel* title_;
    QPlainTextEdit* body_;
    QPushButton* close_;
    QPushButton* copy_;
    QPushButton* edit_;
    QPushButton* save_;
    QPushButton* cancel_;
    QString shownText_;
    bool editing_ = false;
};

} // namespace ombrix::ui
