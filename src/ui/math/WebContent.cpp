#include "ui/math/WebContent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace ombrix::ui::WebContent {

namespace {

constexpr const char* kBundle = "es5/tex-mml-chtml.js";

bool holdsBundle(const QString& dir) {
    return !dir.isEmpty() && QFileInfo(QDir(dir).filePath(kBundle)).isFile();
}

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

QString localMathJaxDir() {
    QStringList candidates;
    if (const QByteArray env = qgetenv(kMathJaxDirVariable); !env.isEmpty()) {
        candidates << QString::fromLocal8Bit(env);
    }
    candidates << "/usr/local/share/ombrix-pdf/node_modules/mathjax"
               << "/usr/share/ombrix-pdf/node_modules/mathjax";
    if (QCoreApplication::instance()) {
        candidates << QCoreApplication::applicationDirPath() +
                          "/../share/ombrix-pdf/node_modules/mathjax";
    }
    for (const QString& dir : candidates) {
        if (holdsBundle(dir)) {
            return QDir(dir).canonicalPath();
        }
    }
    return {};
}

QUrl route(const QUrl& url, const QString& localDir) {
    const QString scheme = url.scheme();
    if (scheme == kLocalScheme || scheme == "data" || scheme == "about" || scheme == "blob") {
        return url;
    }
    const QString text = url.toString();
    if (text.startsWith(kMathJaxCDN)) {
        if (localDir.isEmpty()) {
            return url; // no local copy: the network is the only way to typeset
        }
        QUrl local;
        local.setScheme(kLocalScheme);
        local.setHost("mathjax");
        local.setPath('/' + text.mid(int(qstrlen(kMathJaxCDN))).section('?', 0, 0));
        return local;
    }
    return {};
}

QWebEngineProfile* profile() {
    static QPointer<QWebEngineProfile> shared;
    if (!shared) {
        registerScheme();
        // Off the record: no cache or cookies of opened documents on disk.
        shared = new QWebEngineProfile(QCoreApplication::instance());
        const QString dir = localMathJaxDir();
        shared->setUrlRequestInterceptor(new Interceptor(dir, shared));
        if (!dir.isEmpty()) {
            shared->installUrlSchemeHandler(kLocalScheme, new LocalFiles(dir, shared));
        }
    }
    return shared;
}

void warmUp() {
    static bool warm = false;
    if (warm) {
        return;
    }
    warm = true;
    auto* page = new QWebEnginePage(profile(), profile());
    page->setHtml("<!DOCTYPE html><html><body></body></html>", QUrl());
    QObject::connect(page, &QWebEnginePage::loadFinished, page, &QObject::deleteLater);
}

} // namespace ombrix::ui::WebContent
