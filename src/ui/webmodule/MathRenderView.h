#pragma once

#include <QString>
#include <QWebEngineView>
#include <optional>
#include <string>

namespace ombrix::ui {

// The formula typeset by MathJax 3 (from the local copy when one is installed). GUI thread
// only.
class MathRenderView : public QWebEngineView {
    Q_OBJECT
public:
    explicit MathRenderView(QWidget* parent = nullptr);

    void setFormula(const std::string& latex, const std::optional<std::string>& mathml);
    bool isLoaded() const { return loaded_; }

Q_SIGNALS:
    // MathJax has typeset the page (or failed to load: `typeset` false).
    void typesetFinished(bool typeset);

private:
    void pollTypeset(int attemptsLeft);
    bool loaded_ = false;
};

} // namespace ombrix::ui
