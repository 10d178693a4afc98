#pragma once

#include "annotations/AnnotationType.h"
#include "annotations/HighlightColor.h"
#include "ui/canvas/FloatingCard.h"

#include <functional>
#include <vector>

class QToolButton;

namespace ombrix::ui {

// The card that comes up beside a text selection: the five palette colours highlight it,
// "Underline" and "Strike Out" mark it, "Add Note" highlights it and opens its comment.
// Sized to its contents; the wrapper places it. GUI thread only.
class SelectionPopup : public FloatingCard {
    Q_OBJECT
public:
    explicit SelectionPopup(QWidget* parent = nullptr);

    // Highlight, underline or strike-out in a colour.
    std::function<void(AnnotationType, const HighlightColor&)> onMark;
    std::function<void()> onAddNote;

    const std::vector<QToolButton*>& colourButtons() const { return colours_; }
    QToolButton* underlineButton() const { return underline_; }
    QToolButton* strikeOutButton() const { return strikeOut_; }
    QToolButton* addNoteButton() const { return addNote_; }

private:
    std::vector<QToolButton*> colours_;
    QToolButton* underline_ = nullptr;
    QToolButton* strikeOut_ = nullptr;
    QToolButton* addNote_ = nullptr;
};

} // namespace ombrix::ui
