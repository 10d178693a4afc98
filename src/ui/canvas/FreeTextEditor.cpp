#include "ui/canvas/FreeTextEditor.h"

#include <QAbstractTextDocumentLayout>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace ombrix::ui {

namespace {

// Room between the text and the dashed frame, pixels.
constexpr double kFrameRoom = 3;
// An empty entry is a box of a few ems one can see and aim at.
constexpr double kMinimumEms = 4;

} // namespace

FreeTextEditor::FreeTextEditor(QWidget* parent) : QTextEdit(parent) {
    setObjectName("FreeTextEditor");
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::NoWrap);
    setTabChangesFocus(true);
    setPlaceholderText(tr("Type here"));
    setToolTip(tr("Enter places the text, Shift+Enter starts a new line, Esc cancels"));
    // The page shows through; paintEvent draws a light card and the dashed frame.
    setAttribute(Qt::WA_TranslucentBackground);
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    connect(this, &QTextEdit::textChanged, this, [this] {
        applyLineHeight();
        fitToText();
        if (onTextChanged) {
            onTextChanged(toPlainText());
        }
    });
}

QFont FreeTextEditor::textFont() {
    QFont font(QStringLiteral("Helvetica"));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void FreeTextEditor::setTextStyle(double emPixels, const QColor& colour) {
    emPixels = std::max(1.0, emPixels);
    if (std::abs(emPixels - em_) < 0.01 && colour == palette().color(QPalette::Text)) {
        return; // a scroll: same look, nothing to lay out again
    }
    em_ = emPixels;
    QFont font = textFont();
    // Points at this screen's resolution give the exact pixel size; whole pixels would
    // not.
    font.setPointSizeF(em_ * 72.0 / std::max(1, logicalDpiY()));
    setFont(font);
    document()->setDefaultFont(font);
    QPalette p = palette();
    p.setColor(QPalette::Text, colour);
    QColor hint = colour;
    hint.setAlphaF(0.45);
    p.setColor(QPalette::PlaceholderText, hint);
    setPalette(p);

    // Qt puts a line's baseline its ascent below the line's top; the page puts the
    // first one 0.8 em below the box's top. Whichever is lower decides the margin.
    const double ascent = QFontMetricsF(font).ascent();
    rise_ = std::max(0.0, ascent - kFirstBaseline * em_);
    QTextFrameFormat frame = document()->rootFrame()->frameFormat();
    frame.setLeftMargin(kFrameRoom);
    frame.setRightMargin(kFrameRoom);
    frame.setTopMargin(kFrameRoom + std::max(0.0, kFirstBaseline * em_ - ascent));
    frame.setBottomMargin(kFrameRoom);
    document()->rootFrame()->setFrameFormat(frame);
    applyLineHeight();
    fitToText();
}

QPointF FreeTextEditor::textBoxOffset() const {
    // Read back from the laid-out first line: where Qt puts a fixed-height line's
    // baseline is its own affair.
    const QTextBlock first = document()->begin();
    QTextLayout* layout = first.layout();
    if (layout && layout->lineCount() > 0) {
        const QTextLine line = layout->lineAt(0);
        const QRectF block = document()->documentLayout()->blockBoundingRect(first);
        const double baseline = block.top() + line.y() + line.ascent();
        return QPointF(kFrameRoom, baseline - kFirstBaseline * em_);
    }
    return QPointF(kFrameRoom, kFrameRoom + rise_);
}

void FreeTextEditor::applyLineHeight() {
    const double height = kLineHeight * em_;
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    // Only when some block differs: setting a format is itself a change of the text.
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        if (f.lineHeightType() != QTextBlockFormat::FixedHeight ||
            std::abs(f.lineHeight() - height) > 0.001) {
            QTextBlockFormat fixed;
            fixed.setLineHeight(height, QTextBlockFormat::FixedHeight);
            const QSignalBlocker quiet(this);
            all.mergeBlockFormat(fixed);
            // New blocks typed at the end take the caret's format.
            QTextCursor caret = textCursor();
            caret.mergeBlockFormat(fixed);
            break;
        }
    }
}

void FreeTextEditor::fitToText() {
    const QFontMetricsF metrics(font());
    double widest = 0;
    const QString text = toPlainText();
    for (const QString& line : (text.isEmpty() ? placeholderText() : text).split('\n')) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    widest = std::max(widest, kMinimumEms * em_);
    const int lines = std::max(1, document()->blockCount());
    const QPointF box = textBoxOffset();
    // One average character beyond the text, so typing never scrolls it sideways, and
    // the descent of the last line below it.
    const int w = int(std::ceil(box.x() + widest + metrics.averageCharWidth() + kFrameRoom));
    const int h = int(std::ceil(box.y() + lines * kLineHeight * em_ +
                                std::max(0.0, metrics.descent() - 0.2 * em_) + kFrameRoom));
    resize(w, h);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

bool FreeTextEditor::event(QEvent* event) {
    const bool handled = QTextEdit::event(event);
    // A window shortcut (save, close, quit) while typing: the text is placed first, so
    // the save keeps it and a close asks about it.
    if (event->type() == QEvent::ShortcutOverride && !event->isAccepted()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool modifierAlone = key->key() == Qt::Key_Control || key->key() == Qt::Key_Shift ||
                                   key->key() == Qt::Key_Alt || key->key() == Qt::Key_Meta ||
                                   key->key() == Qt::Key_AltGr;
        if ((key->modifiers() & Qt::ControlModifier) && !modifierAlone) {
            if (auto commit = onCommit) {
                commit();
            }
        }
    }
    return handled;
}

void FreeTextEditor::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & Qt::ShiftModifier)) {
        event->accept();
        if (auto commit = onCommit) {
            commit();
        }
        return;
    }
    if (enter) {
        // Shift+Enter: a new line, never the soft break Qt would make of it.
        textCursor().insertBlock();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        if (auto cancel = onCancel) {
            cancel();
        }
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void FreeTextEditor::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    // A menu or a popup of our own taking the focus for a moment is not "elsewhere".
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    if (auto lost = onFocusLost) {
        lost(event->reason());
    }
    if (auto commit = onCommit) {
        commit();
    }
}

void FreeTextEditor::paintEvent(QPaintEvent* event) {
    {
        // A light card under the text keeps it legible over the page's own print, and a
        // dashed frame says it is still being edited.
        QPainter painter(viewport());
        const QRectF box = QRectF(viewport()->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.fillRect(box, QColor(255, 255, 255, 215));
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawRect(box);
    }
    QTextEdit::paintEvent(event);
}

} // namespace ombrix::ui
