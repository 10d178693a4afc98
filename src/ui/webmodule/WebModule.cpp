// The web module: the views that need Qt WebEngine, made for the rest of the program
// through WebViewFactory. Built as a Qt plugin that the program loads on first need.
#include "ui/web/WebViews.h"
#include "ui/webmodule/MathRenderView.h"
#include "ui/webmodule/WebProfile.h"

#include <QObject>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace ombrix::ui {

class WebModule final : public QObject, public WebViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OMBRIX_WEB_VIEW_FACTORY_IID)
    Q_INTERFACES(ombrix::ui::WebViewFactory)
public:
    QWidget* makeResultView(QWidget* parent, std::function<void(bool)> loaded) override {
        auto* view = new QWebEngineView(parent);
        view->setObjectName("ResultWebView");
        auto* webPage = WebProfile::newPage(view);
        webPage->setBackgroundColor(Qt::transparent);
        // The page shows a file's annotation text: a table needs no script.
        webPage->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        view->setPage(webPage);
        view->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(view, &QWebEngineView::loadFinished, view, std::move(loaded));
        return view;
    }

    QWidget* makeFormulaView(QWidget* parent, std::function<void(bool)> typeset) override {
        return new MathRenderView(parent, std::move(typeset));
    }

    void setPage(QWidget* view, const QString& html) override {
        if (auto* web = qobject_cast<QWebEngineView*>(view)) {
            web->setHtml(html, QUrl());
        }
    }

    void warmUp() override { WebProfile::warmUp(); }
};

} // namespace ombrix::ui

#include "WebModule.moc"
