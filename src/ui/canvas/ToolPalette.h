#pragma once

#include "annotations/HighlightColor.h"
#include "core/Color.h"
#include "ui/canvas/FloatingCard.h"

#include <functional>
#include <optional>
#include <vector>

class QBoxLayout;
class QIcon;
class QToolButton;

namespace ombrix::ui {

// The palette colour a markup tool draws in: blue for text, purple for math, yellow for
// image crops; none for no tool.
std::optional<Color> highlightToolColor(HighlightTool tool);

// A round swatch of the colour (drawn opaque), `size` points across.
QIcon paletteSwatch(const Color& colour, int size);
// A short vertical rule between groups of a floating card's row.
void addCardDivider(QWidget* parent, QBoxLayout* row);
// One swatch button per palette colour, in palette order, named prefix + the colour's
// name ("colourYellow"), each calling `chosen`.
std::vector<QToolButton*>
addPaletteSwatches(QWidget* parent, QBoxLayout* row, const QString& namePrefix,
                   const std::function<void(const HighlightColor&)>& chosen);

// The floating palette over the page: the tools "Text", "Math" and "Crop" (the chosen
// one shown pressed; pressing it again puts the tool down) and the five palette colours,
// which recolour the selected annotation. Sized to its contents; the wrapper places it. GUI
// thread only.
class ToolPalette : public FloatingCard {
    Q_OBJECT
public:
    explicit ToolPalette(QWidget* parent = nullptr);

    void setActiveTool(HighlightTool tool);
    HighlightTool activeTool() const { return tool_; }

    QToolButton* toolButton(HighlightTool tool) const;
    // The recolour buttons, in palette order.
    QToolButton* colourButton(int index) const;

    std::function<void(HighlightTool)> onToolChosen;
    std::function<void(Color)> onColourChosen;

private:
    HighlightTool tool_ = HighlightTool::none;
    QToolButton* text_ = nullptr;
    QToolButton* math_ = nullptr;
    QToolButton* crop_ = nullptr;
    std::vector<QToolButton*> colours_;
};

} // namespace ombrix::ui
