#include "ui/webmodule/MathRenderView.h"

#include "ui/webmodule/WebProfile.h"

#include <QTimer>
#include <QWebEnginePage>

namespace ombrix::ui {

MathRenderView::MathRenderView(QWidget* parent, std::function<void(bool)> typeset)
    : QWebEngineView(parent), typeset_(std::move(typeset)) {
    setObjectName("MathRenderView");
    auto* webPage = WebProfile::newPage(this);
    webPage->setBackgroundColor(Qt::transparent);
    setPage(webPage);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (ok) {
            pollTypeset(100);
        } else {
            typeset_(false);
        }
    });
}

// MathJax loads asynchronously after the page: asks it every 50 ms for up to 5 s. A page
// without MathJax (its LaTeX shown as text) is not waited for.
void MathRenderView::pollTypeset(int attemptsLeft) {
    page()->runJavaScript(
        "document.querySelector('pre.latex') ? 'text' : "
        "(window.MathJax && MathJax.startup && MathJax.startup.promise) ? "
        "(document.querySelector('mjx-container') ? 'done' : 'waiting') : 'loading'",
        [this, attemptsLeft](const QVariant& state) {
            if (state.toString() == "done") {
                typeset_(true);
            } else if (state.toString() == "text" || attemptsLeft <= 0) {
                typeset_(false);
            } else {
                QTimer::singleShot(50, this,
                                   [this, attemptsLeft] { pollTypeset(attemptsLeft - 1); });
            }
        });
}

} // namespace ombrix::ui
