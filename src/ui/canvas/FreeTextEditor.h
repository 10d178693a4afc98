#pragma once

#include <QFont>
#include <QTextEdit>
#include <functional>

namespace ombrix::ui {

// The inline editor of a free text entry, laid over the page where the text will sit
// and set as the page will draw it (Helvetica, lines 1.2 em apart, the first baseline
// 0.8 em below the top), so what is typed does not move when it is placed. Enter
// commits, Shift+Enter starts a new line, Escape cancels, and taking the focus
// elsewhere (a click outside it) commits. It grows with its text and never scrolls.
// The wrapper owns it, places it and decides what a commit makes. GUI thread only.
class FreeTextEditor : public QTextEdit {
    Q_OBJECT
public:
    explicit FreeTextEditor(QWidget* parent = nullptr);

    // How the page sets free text: in Helvetica, lines this many ems apart, the first
    // baseline this many ems below the top of its box.
    static constexpr double kLineHeight = 1.2;
    static constexpr double kFirstBaseline = 0.8;
    static QFont textFont();

    // The text's size on screen (the font size at the view's scale) and its colour.
    void setTextStyle(double emPixels, const QColor& colour);
    // Where the text box's top-left corner (the page's, before any margin) is inside
    // the editor: the editor sits at that corner minus this.
    QPointF textBoxOffset() const;
    // Size to the text; the top-left corner stays where it is.
    void fitToText();

    // Each reported once per entry: whichever ends it first wins.
    std::function<void()> onCommit;
    std::function<void()> onCancel;
    std::function<void(const QString&)> onTextChanged;
    // The focus went elsewhere (not to a menu or another window); then onCommit.
    std::function<void(Qt::FocusReason)> onFocusLost;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyLineHeight();

    double em_ = 14;
    // Above the first line, room the font's ascent needs beyond the page's 0.8 em.
    double rise_ = 0;
};

} // namespace ombrix::ui
