#pragma once

#include "ui/canvas/FloatingCard.h"

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ombrix::ui {

// The card that shows a selected annotation's text: the title "Annotation", the text in a
// scrolling 240 × 100 area, and the buttons "Close" and "Copy". Sized to its contents;
// the wrapper places it next to the annotation. GUI thread only.
class TextPopover : public FloatingCard {
    Q_OBJECT
public:
    explicit TextPopover(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

    QPushButton* closeButton() const { return close_; }
    QPushButton* copyButton() const { return copy_; }

    std::function<void()> onClose;
    std::function<void()> onCopy;

private:
    QLabel* title_;
    QPlainTextEdit* body_;
    QPushButton* close_;
    QPushButton* copy_;
};

} // namespace ombrix::ui
