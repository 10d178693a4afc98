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

// The formula window ("Math View", 600 × 500): the typeset formula, its raw LaTeX, and
// buttons that copy the LaTeX or the MathML. The formula is typeset by the web module's
// view; when that module cannot be loaded the window says so above the LaTeX. Closes
// itself and is deleted on close. GUI thread only.
class MathViewWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 500;

    MathViewWindow(std::string latex, std::optional<std::string> mathml,
                   std::shared_ptr<UserInteraction> userInteraction, QWidget* parent = nullptr);

    // Centres the window on the screen of `over` (or the primary one), shows and raises it.
    void present(QWidget* over = nullptr);

    // The web module's formula view, or the label that says it is missing.
    QWidget* formulaView() const { return formula_; }
    bool typesets() const { return typesets_; }
    QPlainTextEdit* rawLatex() const { return raw_; }
    QPushButton* copyLatexButton() const { return copyLatex_; }
    QPushButton* copyMathMLButton() const { return copyMathML_; }

Q_SIGNALS:
    // MathJax has typeset the formula (or failed to load: `typeset` false).
    void typesetFinished(bool typeset);

private:
    std::string latex_;
    std::optional<std::string> mathml_;
    std::shared_ptr<UserInteraction> userInteraction_;
    QWidget* formula_ = nullptr;
    bool typesets_ = false;
    QPlainTextEdit* raw_ = nullptr;
    QPushButton* copyLatex_ = nullptr;
    QPushButton* copyMathML_ = nullptr;
};

} // namespace ombrix::ui
