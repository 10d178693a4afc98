#include "ui/sidebar/HTMLRenderView.h"

#include "ui/math/WebContent.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace ombrix::ui {

HTMLRenderView::HTMLRenderView(QWidget* parent) : QWebEngineView(parent) {
    setObjectName("HTMLRenderView");
    auto* webPage = new QWebEnginePage(WebContent::profile(), this);
    webPage->setBackgroundColor(Qt::transparent);
    // The fragment is a file's annotation text: a table needs no script.
    webPage->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    setPage(webPage);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFixedSize(kWidth, kHeight);
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { loaded_ = true; });
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
    QWebEngineView::setHtml(pageHTML(fragment, scrollEnabled), QUrl());
}

} // namespace ombrix::ui
