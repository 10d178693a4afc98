#include "ui/math/MathViewWindow.h"

#include "core/UserInteraction.h"
#include "extraction/MathOCRExtractor.h"
#include "ui/math/WebContent.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/web/WebViews.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace ombrix::ui {

MathViewWindow::MathViewWindow(std::string latex, std::optional<std::string> mathml,
                               std::shared_ptr<UserInteraction> userInteraction, QWidget* parent)
    : QWidget(parent, Qt::Window), latex_(std::move(latex)), mathml_(std::move(mathml)),
      userInteraction_(std::move(userInteraction)) {
    setObjectName("MathViewWindow");
    setWindowTitle(tr("Math View"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(kWidth, kHeight);
    const QColor text = palette().color(QPalette::WindowText);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    auto* symbol = new QLabel(this);
    symbol->setPixmap(SymbolIcon::tinted("function", text, 18, devicePixelRatioF()));
    header->addWidget(symbol);
    auto* title = new QLabel(tr("Extracted Math"), this);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.2);
    title->setFont(headline);
    header->addWidget(title);
    header->addStretch(1);
    auto* dismiss = new QToolButton(this);
    dismiss->setObjectName("closeSymbol");
    dismiss->setIcon(
        SymbolIcon::icon("xmark.circle.fill", palette().color(QPalette::PlaceholderText), 18));
    dismiss->setAutoRaise(true);
    dismiss->setToolTip(tr("Close"));
    connect(dismiss, &QToolButton::clicked, this, &QWidget::close);
    header->addWidget(dismiss);
    column->addLayout(header);

    WebViewFactory* web = WebViews::factory();
    if (web) {
        formula_ = web->makeFormulaView(this, [this](bool ok) { Q_EMIT typesetFinished(ok); });
        typesets_ = true;
    } else {
        auto* missing =
            new QLabel(tr("The formula cannot be typeset: %1. Its LaTeX source is below.")
                           .arg(WebViews::loadError()),
                       this);
        missing->setObjectName("formulaUnavailable");
        missing->setWordWrap(true);
        missing->setAlignment(Qt::AlignCenter);
        formula_ = missing;
    }
    formula_->setMinimumSize(500, web ? 250 : 60);
    column->addWidget(formula_, web ? 1 : 0);

    auto* rawTitle = new QLabel(tr("Raw LaTeX"), this);
    QFont caption = rawTitle->font();
    caption.setBold(true);
    rawTitle->setFont(caption);
    column->addWidget(rawTitle);
    raw_ = new QPlainTextEdit(QString::fromStdString(latex_), this);
    raw_->setReadOnly(true);
    raw_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (web) {
        raw_->setMaximumHeight(80);
    }
    column->addWidget(raw_, web ? 0 : 1);

    auto* footer = new QHBoxLayout;
    const QIcon copy = SymbolIcon::icon("doc.on.doc", text, 14);
    copyLatex_ = new QPushButton(copy, tr("Copy LaTeX"), this);
    connect(copyLatex_, &QPushButton::clicked, this,
            [this] { userInteraction_->copyToClipboard(latex_); });
    footer->addWidget(copyLatex_);
    copyMathML_ = new QPushButton(copy, tr("Copy MathML"), this);
    copyMathML_->setEnabled(mathml_.has_value());
    connect(copyMathML_, &QPushButton::clicked, this,
            [this] { userInteraction_->copyToClipboard(mathml_.value_or("")); });
    footer->addWidget(copyMathML_);
    footer->addStretch(1);
    auto* close = new QPushButton(tr("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    footer->addWidget(close);
    column->addLayout(footer);

    if (web) {
        const QString bundle = WebContent::localBundleURL();
        web->setPage(formula_,
                     QString::fromStdString(formulaPage(
                         latex_, mathml_,
                         bundle.isEmpty() ? std::nullopt : std::optional(bundle.toStdString()))));
    }
}

void MathViewWindow::present(QWidget* over) {
    QScreen* screen = over ? over->screen() : nullptr;
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

} // namespace ombrix::ui
