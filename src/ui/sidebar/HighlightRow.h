#pragma once

#include "extraction/ExtractedHighlight.h"

#include <QFrame>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace ombrix::ui {

class HTMLRenderView;

// One highlight of the sidebar: page, text, comment, result and the action buttons. It
// only shows and reports; the sidebar acts. GUI thread only.
class HighlightRow : public QFrame {
    Q_OBJECT
public:
    struct Callbacks {
        std::function<void()> choose; // a click on the row
        std::function<void()> table, math, crop, cancel;
        std::function<void()> viewMath, copyResult, remove;
        std::function<void()> editComment;
        std::function<void(const std::string&)> saveComment;
        std::function<void()> cancelComment;
    };

    HighlightRow(const ExtractedHighlight& highlight, Callbacks callbacks,
                 QWidget* parent = nullptr);

    void setHighlight(const ExtractedHighlight& highlight);
    const ExtractedHighlight& highlight() const { return highlight_; }
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    // `busy`: this row's action runs (with a Cancel button when `cancellable`);
    // `othersBusy`: another row's does, so this row's actions wait.
    void setBusy(bool busy, bool othersBusy, bool cancellable = false);
    // Shows the comment editor with `text`, or hides it.
    void setEditing(bool editing, const QString& text = {});

    // A web view for an HTML result, none otherwise.
    HTMLRenderView* resultView() const { return resultView_; }
    QPushButton* viewMathButton() const { return viewMath_; }
    QLabel* textLabel() const { return text_; }
    QLabel* commentSymbol() const { return commentSymbol_; }
    QPushButton* tableButton() const { return table_; }
    QPushButton* mathButton() const { return math_; }
    QPushButton* cropButton() const { return crop_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* busyIndicator() const { return busy_; }
    QPlainTextEdit* commentEditor() const { return editor_; }

    // "<table" or "<html": shown as a page, anything else behind "View Math".
    static bool isHTMLResult(const std::string& result);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refresh();

    ExtractedHighlight highlight_;
    Callbacks callbacks_;
    bool selected_ = false;
    QFrame* swatch_ = nullptr;
    QLabel* page_ = nullptr;
    QLabel* commentSymbol_ = nullptr;
    QLabel* text_ = nullptr;
    QLabel* comment_ = nullptr;
    QVBoxLayout* resultBox_ = nullptr;
    HTMLRenderView* resultView_ = nullptr;
    QPushButton* viewMath_ = nullptr;
    QToolButton* copy_ = nullptr;
    QPushButton* table_ = nullptr;
    QPushButton* math_ = nullptr;
    QPushButton* crop_ = nullptr;
    QToolButton* commentButton_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QWidget* editorBox_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
};

} // namespace ombrix::ui
