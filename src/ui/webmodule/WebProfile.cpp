#include "ui/webmodule/WebProfile.h"

#include "ui/math/WebContent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace ombrix::ui::WebProfile {

using WebContent::kLocalScheme;
using WebContent::localMathJaxDir;
using WebContent::route;

namespace {

// Runs on the profile's IO thread: only reads its own copy of the folder.
class Interceptor final : public QWebEngineUrlRequestInterceptor {
public:
    explicit Interceptor(QString dir, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), dir_(std::move(dir)) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        const QUrl to = route(url, dir_);
        if (to.isEmpty()) {
            info.block(true);
        } else if (to != url) {
            info.redirect(to);
        }
    }

private:
    const QString dir_;
};

// Serves files of the local MathJax folder; nothing outside it.
class LocalFiles final : public QWebEngineUrlSchemeHandler {
public:
    explicit LocalFiles(QString dir, QObject* parent)
        : QWebEngineUrlSchemeHandler(parent), root_(QDir(dir).canonicalPath()) {}
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString relative = QDir::cleanPath(job->requestUrl().path()).mid(1);
        const QString path = QFileInfo(QDir(root_).filePath(relative)).canonicalFilePath();
        if (root_.isEmpty() || relative.startsWith("..") || !path.startsWith(root_ + '/')) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* file = new QFile(path, job);
        if (!file->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        static const QMimeDatabase mimes;
        QByteArray type =
            mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toUtf8();
        if (path.endsWith(".js")) {
            type = "text/javascript";
        }
        job->reply(type, file);
    }

private:
    const QString root_;
};

// Loads only what the program hands it; the page's own links, refreshes and forms are
// refused.
class StayingPage final : public QWebEnginePage {
public:
    StayingPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        return isMainFrame && type == NavigationTypeTyped && url.scheme() == "data";
    }
};

// Nothing a page of ours needs: no pictures, storage, plugins, clipboard, new windows,
// link auditing or name lookups ahead of time.
void restrict(QWebEngineSettings* settings) {
    using S = QWebEngineSettings;
    for (auto off :
         {S::AutoLoadImages, S::LocalContentCanAccessRemoteUrls, S::LocalContentCanAccessFileUrls,
          S::LocalStorageEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
          S::JavascriptCanPaste, S::PluginsEnabled, S::PdfViewerEnabled,
          S::HyperlinkAuditingEnabled, S::DnsPrefetchEnabled, S::AutoLoadIconsForPage,
          S::NavigateOnDropEnabled, S::FocusOnNavigationEnabled, S::AllowRunningInsecureContent,
          S::AllowGeolocationOnInsecureOrigins, S::AllowWindowActivationFromJavaScript,
          S::ScreenCaptureEnabled}) {
        settings->setAttribute(off, false);
    }
    settings->setAttribute(S::WebRTCPublicInterfacesOnly, true);
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

void registerScheme() {
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(kLocalScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
}

} // namespace

QWebEngineProfile* shared() {
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        registerScheme();
        // Off the record: no cache or cookies of opened documents on disk.
        profile = new QWebEngineProfile(QCoreApplication::instance());
        restrict(profile->settings());
        const QString dir = localMathJaxDir();
        profile->setUrlRequestInterceptor(new Interceptor(dir, profile));
        if (!dir.isEmpty()) {
            profile->installUrlSchemeHandler(kLocalScheme, new LocalFiles(dir, profile));
        }
    }
    return profile;
}

QWebEnginePage* newPage(QObject* parent) {
    return new StayingPage(shared(), parent);
}

void warmUp() {
    static bool warm = false;
    if (warm) {
        return;
    }
    warm = true;
    auto* page = newPage(shared());
    page->setHtml("<!DOCTYPE html><html><body></body></html>", QUrl());
    QObject::connect(page, &QWebEnginePage::loadFinished, page, &QObject::deleteLater);
}

} // namespace ombrix::ui::WebProfile
