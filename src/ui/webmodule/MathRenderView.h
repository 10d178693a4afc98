#pragma once

#include <QWebEngineView>
#include <functional>

namespace ombrix::ui {

// A formula page typeset by MathJax 3 (from the local copy when one is installed). Tells
// `typeset` once per page whether MathJax drew it. GUI thread only.
class MathRenderView : public QWebEngineView {
    Q_OBJECT
public:
    MathRenderView(QWidget* parent, std::function<void(bool)> typeset);

private:
    void pollTypeset(int attemptsLeft);
    std::function<void(bool)> typeset_;
};

} // namespace ombrix::ui
