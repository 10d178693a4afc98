#include "ui/canvas/SelectionPopup.h"

#include "ui/canvas/ToolPalette.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace ombrix::ui {

SelectionPopup::SelectionPopup(QWidget* parent) : FloatingCard(9, parent) {
    setObjectName("SelectionPopup");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(2);
    colours_ = addPaletteSwatches(this, row, "highlight", [this](const HighlightColor& entry) {
        if (onMark) {
            onMark(AnnotationType::highlight, entry);
        }
    });
    for (auto* button : colours_) {
        button->setToolTip(tr("Highlight in %1").arg(button->toolTip()));
    }

    addCardDivider(this, row);

    auto addText = [&](const QString& label, const QString& name) {
        auto* button = new QToolButton(this);
        button->setText(label);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setObjectName(name);
        row->addWidget(button);
        return button;
    };
    underline_ = addText(tr("Underline"), "underline");
    strikeOut_ = addText(tr("Strike Out"), "strikeOut");
    addNote_ = addText(tr("Add Note"), "addNote");
    // Underlines are drawn in blue and strike-outs in red, as readers usually mark them.
    connect(underline_, &QToolButton::clicked, this, [this] {
        if (onMark) {
            onMark(AnnotationType::underline, HighlightColor::defaults()[2]);
        }
    });
    connect(strikeOut_, &QToolButton::clicked, this, [this] {
        if (onMark) {
            onMark(AnnotationType::strikeout, HighlightColor::defaults()[1]);
        }
    });
    connect(addNote_, &QToolButton::clicked, this, [this] {
        if (onAddNote) {
            onAddNote();
        }
    });
    adjustSize();
}

} // namespace ombrix::ui
