#include "ui/canvas/TextPopover.h"

#include "ui/platform/SymbolIcon.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

namespace ombrix::ui {

TextPopover::TextPopover(QWidget* parent) : FloatingCard(10, parent) {
    setObjectName("TextPopover");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(8);

    title_ = new QLabel(tr("Annotation"), this);
    QFont headline = title_->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    title_->setFont(headline);
    column->addWidget(title_);

    body_ = new QPlainTextEdit(this);
    body_->setObjectName("popoverText");
    body_->setReadOnly(true);
    body_->setFixedSize(240, 100);
    QFont text = body_->font();
    text.setPixelSize(14);
    body_->setFont(text);
    body_->setBackgroundRole(QPalette::Base);
    body_->setFrameShape(QFrame::NoFrame);
    body_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    column->addWidget(body_);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(8);
    buttons->addStretch(1);
    close_ = new QPushButton(tr("Close"), this);
    close_->setObjectName("popoverClose");
    copy_ = new QPushButton(tr("Copy"), this);
    copy_->setObjectName("popoverCopy");
    copy_->setIcon(SymbolIcon::icon("doc.on.doc", Qt::white, 14));
    copy_->setDefault(true);
    copy_->setStyleSheet("QPushButton { background: #34c759; color: white; border: none;"
                         " border-radius: 5px; padding: 4px 12px; }"
                         "QPushButton:pressed { background: #2ca84c; }");
    edit_ = new QPushButton(tr("Edit"), this);
    edit_->setObjectName("popoverEdit");
    save_ = new QPushButton(tr("Save"), this);
    save_->setObjectName("popoverSave");
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName("popoverCancel");
    buttons->addWidget(close_);
    buttons->addWidget(cancel_);
    buttons->addWidget(edit_);
    buttons->addWidget(save_);
    buttons->addWidget(copy_);
    column->addLayout(buttons);
    connect(edit_, &QPushButton::clicked, this, [this] { setEditing(true); });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        setEditing(false);
        body_->setPlainText(shownText_);
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        if (onSave) {
            onSave(body_->toPlainText());
        }
    });
    auto* saveKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), body_);
    saveKey->setContext(Qt::WidgetShortcut);
    connect(saveKey, &QShortcut::activated, save_, &QPushButton::click);
    setEditing(false);

    connect(close_, &QPushButton::clicked, this, [this] {
        if (onClose) {
            onClose();
        }
    });
    connect(copy_, &QPushButton::clicked, this, [this] {
        if (onCopy) {
            onCopy();
        }
    });
    adjustSize();
}

void TextPopover::setText(const QString& text) {
    // An edit under way keeps what is being typed.
    if (editing_ && text == shownText_) {
        return;
    }
    shownText_ = text;
    body_->setPlainText(text);
}

void TextPopover::setEditing(bool editing) {
    editing_ = editing;
    body_->setReadOnly(!editing);
    edit_->setVisible(!editing);
    copy_->setVisible(!editing);
    close_->setVisible(!editing);
    save_->setVisible(editing);
    cancel_->setVisible(editing);
    save_->setDefault(editing);
    copy_->setDefault(!editing);
    title_->setText(editing ? tr("Edit Text") : tr("Annotation"));
    if (editing) {
        body_->setFocus(Qt::OtherFocusReason);
        body_->moveCursor(QTextCursor::End);
    }
    adjustSize();
}

QString TextPopover::text() const {
    return body_->toPlainText();
}

} // namespace ombrix::ui
