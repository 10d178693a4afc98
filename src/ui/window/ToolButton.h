#pragma once

#include <QToolButton>

namespace ombrix::ui {

// A 28 x 28 button showing one symbol: blue on clear, or white on a blue rounded
// background while active. GUI thread only.
class ToolButton : public QToolButton {
    Q_OBJECT
public:
    ToolButton(const QString& symbol, const QString& toolTip, QWidget* parent = nullptr);

    void setActive(bool active);
    bool isActive() const { return active_; }
    const QString& symbol() const { return symbol_; }

    static QColor accentBlue();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool active_ = false;
};

} // namespace ombrix::ui
