#include "ui/sidebar/HTMLRenderView.h"

#include "ui/web/WebViews.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace ombrix::ui {

namespace {

// Shows the page as Qt rich text and fetches nothing it names: no pictures, no styles,
// no links followed.
class OfflineBrowser final : public QTextBrowser {
public:
    explicit OfflineBrowser(QWidget* parent) : QTextBrowser(parent) {
        setObjectName("ResultTextView");
        setOpenLinks(false);
        setOpenExternalLinks(false);
        setFrameShape(QFrame::NoFrame);
        viewport()->setAutoFillBackground(false);
    }
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

HTMLRenderView::HTMLRenderView(QWidget* parent) : QWidget(parent) {
    setObjectName("HTMLRenderView");
    setFixedSize(kWidth, kHeight);
    setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (WebViewFactory* factory = WebViews::factory()) {
        content_ = factory->makeResultView(this, [this](bool) { loaded_ = true; });
        web_ = true;
    } else {
        content_ = new OfflineBrowser(this);
        content_->setToolTip(tr("Shown as simple rich text: %1.").arg(WebViews::loadError()));
    }
    content_->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(content_);
}

QString HTMLRenderView::pageHTML(const QString& fragment, bool scrollEnabled) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html>\n<head>\n    <meta name=\"viewport\" "
               "content=\"width=device-width, initial-scale=1.0\">\n    <style>\n        body { "
               "font-family: -apple-system, sans-serif; font-size: 12px; margin: 4px; "
               "background: transparent; color: #000; overflow: ") +
           (scrollEnabled ? "auto" : "hidden") +
           QStringLiteral("; }\n        @media (prefers-color-scheme: dark) { body { color: "
                          "#fff; } }\n        table { border-collapse: collapse; width: 100%; "
                          "}\n        th, td { border: 1px solid #555; padding: 4px; }\n    "
                          "</style>\n</head>\n<body>\n    ") +
           fragment + QStringLiteral("\n</body>\n</html>");
}

void HTMLRenderView::setHtml(const QString& fragment, bool scrollEnabled) {
    if (loaded_ && fragment == fragment_ && scrollEnabled == scrollEnabled_) {
        return;
    }
    fragment_ = fragment;
    scrollEnabled_ = scrollEnabled;
    loaded_ = false;
    const QString page = pageHTML(fragment, scrollEnabled);
    if (web_) {
        WebViews::factory()->setPage(content_, page);
        return;
    }
    auto* browser = static_cast<QTextBrowser*>(content_);
    browser->setVerticalScrollBarPolicy(scrollEnabled ? Qt::ScrollBarAsNeeded
                                                      : Qt::ScrollBarAlwaysOff);
    browser->setHorizontalScrollBarPolicy(browser->verticalScrollBarPolicy());
    browser->setHtml(page);
    loaded_ = true;
}

} // namespace ombrix::ui
