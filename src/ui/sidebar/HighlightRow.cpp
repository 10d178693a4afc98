#include "ui/sidebar/HighlightRow.h"

#include "extraction/TableMarkup.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/sidebar/HTMLRenderView.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix::ui {

namespace {

QColor qColor(const Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), 1.0f);
}

QPushButton* actionButton(const QString& symbol, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(
        SymbolIcon::icon(symbol, parent->palette().color(QPalette::ButtonText), 14), text, parent);
    button->setObjectName(text.toLower() + "Button");
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

bool HighlightRow::isHTMLResult(const std::string& result) {
    return result.find("<table") != std::string::npos || result.find("<html") != std::string::npos;
}

HighlightRow::HighlightRow(const ExtractedHighlight& highlight, Callbacks callbacks,
                           QWidget* parent)
    : QFrame(parent), highlight_(highlight), callbacks_(std::move(callbacks)) {
    setObjectName("HighlightRow");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 6, 6);
    outer->setSpacing(8);
    swatch_ = new QFrame(this);
    swatch_->setFixedWidth(5);
    swatch_->setAutoFillBackground(true);
    outer->addWidget(swatch_);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(4);
    outer->addLayout(column, 1);

    const QColor secondary = palette().color(QPalette::PlaceholderText);
    auto* top = new QHBoxLayout;
    page_ = new QLabel(this);
    page_->setObjectName("pageLabel");
    QFont caption = page_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    caption.setBold(true);
    page_->setFont(caption);
    page_->setForegroundRole(QPalette::PlaceholderText);
    top->addWidget(page_);
    top->addStretch(1);
    commentSymbol_ = new QLabel(this);
    commentSymbol_->setObjectName("commentSymbol");
    commentSymbol_->setPixmap(SymbolIcon::tinted(
        "text.bubble.fill", palette().color(QPalette::Highlight), 14, devicePixelRatioF()));
    commentSymbol_->setToolTip(tr("Has a comment"));
    top->addWidget(commentSymbol_);
    column->addLayout(top);

    text_ = new QLabel(this);
    text_->setObjectName("textLabel");
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    column->addWidget(text_);

    comment_ = new QLabel(this);
    comment_->setObjectName("commentLabel");
    comment_->setWordWrap(true);
    comment_->setTextFormat(Qt::PlainText);
    QFont italic = comment_->font();
    italic.setItalic(true);
    comment_->setFont(italic);
    column->addWidget(comment_);

    editorBox_ = new QWidget(this);
    auto* editorColumn = new QVBoxLayout(editorBox_);
    editorColumn->setContentsMargins(0, 0, 0, 0);
    editor_ = new QPlainTextEdit(editorBox_);
    editor_->setPlaceholderText(tr("Add a comment…"));
    editor_->setFixedHeight(60);
    editorColumn->addWidget(editor_);
    auto* editorButtons = new QHBoxLayout;
    editorButtons->addStretch(1);
    auto* cancelEdit = new QPushButton(tr("Cancel"), editorBox_);
    connect(cancelEdit, &QPushButton::clicked, this, [this] { callbacks_.cancelComment(); });
    editorButtons->addWidget(cancelEdit);
    auto* saveEdit = new QPushButton(tr("Save"), editorBox_);
    saveEdit->setObjectName("saveCommentButton");
    connect(saveEdit, &QPushButton::clicked, this,
            [this] { callbacks_.saveComment(editor_->toPlainText().toStdString()); });
    editorButtons->addWidget(saveEdit);
    editorColumn->addLayout(editorButtons);
    editorBox_->hide();
    column->addWidget(editorBox_);

    resultBox_ = new QVBoxLayout;
    resultBox_->setSpacing(4);
    auto* resultRow = new QHBoxLayout;
    viewMath_ = actionButton("function", tr("View Math"), this);
    viewMath_->setObjectName("viewMathButton");
    connect(viewMath_, &QPushButton::clicked, this, [this] { callbacks_.viewMath(); });
    resultRow->addWidget(viewMath_);
    resultRow->addStretch(1);
    copy_ = new QToolButton(this);
    copy_->setObjectName("copyResultButton");
    copy_->setIcon(SymbolIcon::icon("doc.on.doc", palette().color(QPalette::ButtonText), 14));
    copy_->setToolTip(tr("Copy Result"));
    copy_->setAutoRaise(true);
    connect(copy_, &QToolButton::clicked, this, [this] { callbacks_.copyResult(); });
    resultRow->addWidget(copy_);
    resultBox_->addLayout(resultRow);
    column->addLayout(resultBox_);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(4);
    table_ = actionButton("tablecells", tr("Table"), this);
    math_ = actionButton("function", tr("Math"), this);
    crop_ = actionButton("crop", tr("Crop"), this);
    connect(table_, &QPushButton::clicked, this, [this] { callbacks_.table(); });
    connect(math_, &QPushButton::clicked, this, [this] { callbacks_.math(); });
    connect(crop_, &QPushButton::clicked, this, [this] { callbacks_.crop(); });
    actions->addWidget(table_);
    actions->addWidget(math_);
    actions->addWidget(crop_);
    actions->addStretch(1);
    commentButton_ = new QToolButton(this);
    commentButton_->setObjectName("editCommentButton");
    commentButton_->setIcon(SymbolIcon::icon("text.bubble.fill", secondary, 14));
    commentButton_->setToolTip(tr("Edit Comment"));
    commentButton_->setAutoRaise(true);
    connect(commentButton_, &QToolButton::clicked, this, [this] { callbacks_.editComment(); });
    actions->addWidget(commentButton_);
    column->addLayout(actions);

    auto* busyRow = new QHBoxLayout;
    busy_ = new QProgressBar(this);
    busy_->setObjectName("busyIndicator");
    busy_->setRange(0, 0); // indeterminate
    busy_->setTextVisible(false);
    busy_->setMaximumHeight(8);
    busyRow->addWidget(busy_, 1);
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName("cancelButton");
    connect(cancel_, &QPushButton::clicked, this, [this] { callbacks_.cancel(); });
    busyRow->addWidget(cancel_);
    column->addLayout(busyRow);
    busy_->hide();
    cancel_->hide();

    refresh();
    setSelected(false);
}

void HighlightRow::setHighlight(const ExtractedHighlight& highlight) {
    if (highlight == highlight_) {
        return;
    }
    highlight_ = highlight;
    refresh();
}

void HighlightRow::refresh() {
    QPalette swatch = swatch_->palette();
    swatch.setColor(QPalette::Window, qColor(highlight_.color));
    swatch_->setPalette(swatch);
    page_->setText(tr("Page %1").arg(highlight_.pageNumber));
    if (highlight_.text.empty()) {
        text_->setText(tr("(No text extracted)"));
        text_->setForegroundRole(QPalette::PlaceholderText);
    } else {
        // The page's lines joined, and a long passage cut short: the row is a reminder.
        constexpr int kLongest = 280;
        QString text = QString::fromStdString(highlight_.text).simplified();
        if (text.size() > kLongest) {
            text = text.left(kLongest - 1) + QChar(0x2026);
        }
        text_->setText(text);
        // A tool tip reads markup as rich text: the page's text is converted first.
        text_->setToolTip(text.size() >= kLongest
                              ? Qt::convertFromPlainText(QString::fromStdString(highlight_.text))
                              : QString());
        text_->setForegroundRole(QPalette::WindowText);
    }
    const bool hasComment = highlight_.comment && !highlight_.comment->empty();
    commentSymbol_->setVisible(hasComment);
    comment_->setVisible(hasComment);
    comment_->setText(hasComment ? QString::fromStdString(*highlight_.comment) : QString());

    const auto& result = highlight_.resultData;
    const bool hasResult = result && !result->empty();
    const bool html = hasResult && isHTMLResult(*result);
    if (html) {
        if (!resultView_) {
            resultView_ = new HTMLRenderView(this);
            resultView_->setStyleSheet("border: 1px solid rgba(128, 128, 128, 0.3);");
            resultBox_->insertWidget(0, resultView_);
        }
        // Only what our table writer writes is shown: the result came from a file.
        resultView_->setHtml(QString::fromStdString(table::sanitizeHTML(*result)));
    } else if (resultView_) {
        resultView_->deleteLater();
        resultView_ = nullptr;
    }
    viewMath_->setVisible(hasResult && !html);
    copy_->setVisible(hasResult);
}

void HighlightRow::setSelected(bool selected) {
    selected_ = selected;
    QColor fill = parentWidget() ? parentWidget()->palette().color(QPalette::Base)
                                 : palette().color(QPalette::Base);
    if (selected) {
        const QColor tint = palette().color(QPalette::Highlight);
        fill = QColor::fromRgbF(0.82f * fill.redF() + 0.18f * tint.redF(),
                                0.82f * fill.greenF() + 0.18f * tint.greenF(),
                                0.82f * fill.blueF() + 0.18f * tint.blueF());
    }
    QPalette p = palette();
    p.setColor(QPalette::Window, fill);
    setPalette(p);
}

void HighlightRow::setBusy(bool busy, bool othersBusy, bool cancellable) {
    busy_->setVisible(busy);
    cancel_->setVisible(busy && cancellable);
    for (QPushButton* button : {table_, math_, crop_}) {
        button->setEnabled(!busy && !othersBusy);
    }
}

void HighlightRow::setEditing(bool editing, const QString& text) {
    editorBox_->setVisible(editing);
    if (editing) {
        editor_->setPlainText(text);
        editor_->setFocus();
    }
}

void HighlightRow::mousePressEvent(QMouseEvent* event) {
    QFrame::mousePressEvent(event);
    if (callbacks_.choose) {
        callbacks_.choose();
    }
}

void HighlightRow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* remove =
        menu.addAction(SymbolIcon::icon("trash", palette().color(QPalette::WindowText), 14),
                       tr("Delete Highlight"));
    if (menu.exec(event->globalPos()) == remove && callbacks_.remove) {
        callbacks_.remove();
    }
}

} // namespace ombrix::ui
