#pragma once

#include "annotations/HighlightColor.h"
#include "core/Color.h"
#include "ui/canvas/FloatingCard.h"

#include <functional>
#include <optional>

class QToolButton;

namespace ombrix::ui {

// The colour a markup tool draws in: blue for text, purple for math and image crops,
// orange for image crops; none for no tool.
std::optional<Color> highlightToolColor(HighlightTool tool);

// The floating palette over the page: the tools "Text", "Math" and "Crop" (the chosen
// one shown pressed; pressing it again puts the tool down) and three colour buttons that
// recolour the selected annotation. Sized to its contents; the wrapper places it. GUI
// thread only.
class ToolPalette : public FloatingCard {
    Q_OBJECT
public:
    explicit ToolPalette(QWidget* parent = nullptr);

    void setActiveTool(HighlightTool tool);
    HighlightTool activeTool() const { return tool_; }

    QToolButton* toolButton(HighlightTool tool) const;
    // The recolour buttons: blue, purple, orange.
    QToolButton* colourButton(int index) const;

    std::function<void(HighlightTool)> onToolChosen;
    std::function<void(Color)> onColourChosen;

    // The recolour choices, in button order.
    static const std::vector<Color>& recolourChoices();

private:
    HighlightTool tool_ = HighlightTool::none;
    QToolButton* text_ = nullptr;
    QToolButton* math_ = nullptr;
    QToolButton* crop_ = nullptr;
    std::vector<QToolButton*> colours_;
};

} // namespace ombrix::ui
