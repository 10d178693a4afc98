#include "ui/window/VimCommandBarView.h"

#include "keyboard/VimEngine.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

namespace ombrix::ui {

VimCommandBarView::VimCommandBarView(QWidget* parent) : QWidget(parent) {
    setObjectName("VimCommandBarView");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    column->addWidget(line);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(0);
    // The platform's fixed font, at the body size; without a platform theme that is the
    // proportional default, so ask for a monospaced family by name then.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(mono).fixedPitch()) {
        mono.setFamilies({"monospace", "DejaVu Sans Mono", "Liberation Mono"});
        mono.setStyleHint(QFont::Monospace);
    }
    mono.setPointSizeF(font().pointSizeF());
    prompt_ = new QLabel(":", this);
    prompt_->setFont(mono);
    prompt_->setForegroundRole(QPalette::PlaceholderText);
    text_ = new QLabel(this);
    text_->setObjectName("commandLine");
    text_->setFont(mono);
    text_->setTextFormat(Qt::PlainText);
    row->addWidget(prompt_);
    row->addWidget(text_, 1);
    column->addLayout(row);
    hide();
}

void VimCommandBarView::setEngine(VimEngine* engine) {
    engine_ = engine;
    if (engine_) {
        activeObservation_ = engine_->isCommandModeActive.observe([this](bool) { refresh(); });
        textObservation_ = engine_->commandLineText.observe([this](const auto&) { refresh(); });
    } else {
        activeObservation_.cancel();
        textObservation_.cancel();
    }
    refresh();
}

void VimCommandBarView::refresh() {
    const bool open = engine_ && engine_->isCommandModeActive();
    text_->setText(open ? QString::fromStdString(engine_->commandLineText()) : QString());
    setVisible(open);
}

} // namespace ombrix::ui
