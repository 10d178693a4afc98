#include "ui/math/MathRenderView.h"

#include "extraction/MathOCRExtractor.h"
#include "ui/math/WebContent.h"

#include <QTimer>
#include <QWebEnginePage>

namespace ombrix::ui {

MathRenderView::MathRenderView(QWidget* parent) : QWebEngineView(parent) {
    setObjectName("MathRenderView");
    auto* webPage = new QWebEnginePage(WebContent::profile(), this);
    webPage->setBackgroundColor(Qt::transparent);
    setPage(webPage);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        loaded_ = true;
        if (ok) {
            pollTypeset(100);
        } else {
            Q_EMIT typesetFinished(false);
        }
    });
}

void MathRenderView::setFormula(const std::string& latex,
                                const std::optional<std::string>& mathml) {
    loaded_ = false;
    QWebEngineView::setHtml(QString::fromStdString(formulaPage(latex, mathml)), QUrl());
}

// MathJax loads asynchronously after the page: asks it every 50 ms for up to 5 s.
void MathRenderView::pollTypeset(int attemptsLeft) {
    page()->runJavaScript(
        "(window.MathJax && MathJax.startup && MathJax.startup.promise) ? "
        "(document.querySelector('mjx-container') ? 'done' : 'waiting') : 'loading'",
        [this, attemptsLeft](const QVariant& state) {
            if (state.toString() == "done") {
                Q_EMIT typesetFinished(true);
            } else if (attemptsLeft <= 0) {
                Q_EMIT typesetFinished(false);
            } else {
                QTimer::singleShot(50, this,
                                   [this, attemptsLeft] { pollTypeset(attemptsLeft - 1); });
            }
        });
}

} // namespace ombrix::ui
