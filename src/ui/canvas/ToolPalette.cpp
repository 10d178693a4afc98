#include "ui/canvas/ToolPalette.h"

#include "annotations/MarkupController.h"
#include "ui/platform/QtColor.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace ombrix::ui {

namespace {

constexpr int kSwatch = 16;

} // namespace

QIcon paletteSwatch(const Color& colour, int size) {
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor solid = toQColor(colour.withAlpha(1));
    painter.setPen(QPen(solid.darker(130), 1));
    painter.setBrush(solid);
    painter.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
    return QIcon(pixmap);
}

void addCardDivider(QWidget* parent, QBoxLayout* row) {
    auto* divider = new QFrame(parent);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(18);
    divider->setForegroundRole(QPalette::Mid);
    row->addSpacing(4);
    row->addWidget(divider);
    row->addSpacing(4);
}

std::vector<QToolButton*>
addPaletteSwatches(QWidget* parent, QBoxLayout* row, const QString& namePrefix,
                   const std::function<void(const HighlightColor&)>& chosen) {
    std::vector<QToolButton*> buttons;
    for (const auto& entry : HighlightColor::defaults()) {
        const QString name = QString::fromStdString(entry.name);
        auto* button = new QToolButton(parent);
        button->setIcon(paletteSwatch(entry.nsColor, kSwatch));
        button->setIconSize(QSize(kSwatch, kSwatch));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(name);
        button->setObjectName(namePrefix + name);
        QObject::connect(button, &QToolButton::clicked, parent, [chosen, entry] { chosen(entry); });
        row->addWidget(button);
        buttons.push_back(button);
    }
    return buttons;
}

std::optional<Color> highlightToolColor(HighlightTool tool) {
    if (auto entry = MarkupController::toolColour(tool)) {
        return entry->nsColor;
    }
    return std::nullopt;
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

    addCardDivider(this, row);

    colours_ = addPaletteSwatches(this, row, "colour", [this](const HighlightColor& entry) {
        if (onColourChosen) {
            onColourChosen(entry.nsColor);
        }
    });
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
