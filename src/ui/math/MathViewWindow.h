#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace ombrix {
class UserInteraction;
}

namespace ombrix::ui {

class MathRenderView;

// The formula window ("Math View", 600 × 500): the typeset formula, its raw LaTeX, and
// buttons that copy the LaTeX or the MathML. Closes itself and is deleted on close. GUI
// thread only.
class MathViewWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 500;

    MathViewWindow(std::string latex, std::optional<std::string> mathml,
                   std::shared_ptr<UserInteraction> userInteraction, QWidget* parent = nullptr);

    // Centres the window on the screen of `over` (or the primary one), shows and raises it.
    void present(QWidget* over = nullptr);

    MathRenderView* formulaView() const { return formula_; }
    QPlainTextEdit* rawLatex() const { return raw_; }
    QPushButton* copyLatexButton() const { return copyLatex_; }
    QPushButton* copyMathMLButton() const { return copyMathML_; }

private:
    std::string latex_;
    std::optional<std::string> mathml_;
    std::shared_ptr<UserInteraction> userInteraction_;
    MathRenderView* formula_ = nullptr;
    QPlainTextEdit* raw_ = nullptr;
    QPushButton* copyLatex_ = nullptr;
    QPushButton* copyMathML_ = nullptr;
};

} // namespace ombrix::ui
