#include "ui/canvas/ToolPalette.h"

#include "ui/platform/QtColor.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace ombrix::ui {

namespace {

constexpr int kSwatch = 16;

QIcon swatch(const Color& colour) {
    QPixmap pixmap(kSwatch * 2, kSwatch * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(toQColor(colour).darker(130), 1));
    painter.setBrush(toQColor(colour));
    painter.drawEllipse(QRectF(1.5, 1.5, kSwatch - 3, kSwatch - 3));
    return QIcon(pixmap);
}

} // namespace

std::optional<Color> highlightToolColor(HighlightTool tool) {
    switch (tool) {
    case HighlightTool::none:
        return std::nullopt;
    case HighlightTool::text:
        return SystemColors::blue;
    case HighlightTool::crop:
        return SystemColors::purple;
    case HighlightTool::orange:
        return SystemColors::orange;
    }
    return std::nullopt;
}

const std::vector<Color>& ToolPalette::recolourChoices() {
    static const std::vector<Color> choices{SystemColors::blue, SystemColors::purple,
                                            SystemColors::orange};
    return choices;
}

ToolPalette::ToolPalette(QWidget* parent) : FloatingCard(9, parent) {
    setObjectName("ToolPalette");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(2);

    auto addTool = [&](const QString& label, const QString& help, HighlightTool tool) {
        auto* button = new QToolButton(this);
        button->setText(label);
        button->setToolTip(help);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setObjectName("tool" + label);
        connect(button, &QToolButton::clicked, this, [this, tool] {
            const HighlightTool chosen = tool_ == tool ? HighlightTool::none : tool;
            setActiveTool(chosen);
            if (onToolChosen) {
                onToolChosen(chosen);
            }
        });
        row->addWidget(button);
        return button;
    };
    text_ = addTool(tr("Text"), tr("Text Highlight"), HighlightTool::text);
    math_ = addTool(tr("Math"), tr("Math/Image Crop"), HighlightTool::crop);
    crop_ = addTool(tr("Crop"), tr("Image Crop"), HighlightTool::orange);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(18);
    divider->setForegroundRole(QPalette::Mid);
    row->addSpacing(4);
    row->addWidget(divider);
    row->addSpacing(4);

    const QStringList names{tr("Blue"), tr("Purple"), tr("Orange")};
    for (std::size_t i = 0; i < recolourChoices().size(); ++i) {
        const Color colour = recolourChoices()[i];
        auto* button = new QToolButton(this);
        button->setIcon(swatch(colour));
        button->setIconSize(QSize(kSwatch, kSwatch));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(names[int(i)]);
        button->setObjectName("colour" + names[int(i)]);
        connect(button, &QToolButton::clicked, this, [this, colour] {
            if (onColourChosen) {
                onColourChosen(colour);
            }
        });
        row->addWidget(button);
        colours_.push_back(button);
    }
    adjustSize();
}

void ToolPalette::setActiveTool(HighlightTool tool) {
    tool_ = tool;
    text_->setChecked(tool == HighlightTool::text);
    math_->setChecked(tool == HighlightTool::crop);
    crop_->setChecked(tool == HighlightTool::orange);
}

QToolButton* ToolPalette::toolButton(HighlightTool tool) const {
    switch (tool) {
    case HighlightTool::text:
        return text_;
    case HighlightTool::crop:
        return math_;
    case HighlightTool::orange:
        return crop_;
    case HighlightTool::none:
        break;
    }
    return nullptr;
}

QToolButton* ToolPalette::colourButton(int index) const {
    return index >= 0 && index < int(colours_.size()) ? colours_[std::size_t(index)] : nullptr;
}

} // namespace ombrix::ui
