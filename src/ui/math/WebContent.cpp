#include "ui/math/WebContent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ombrix::ui::WebContent {

namespace {

constexpr const char* kBundle = "es5/tex-mml-chtml.js";

bool holdsBundle(const QString& dir) {
    return !dir.isEmpty() && QFileInfo(QDir(dir).filePath(kBundle)).isFile();
}

} // namespace

QString localMathJaxDir() {
    QStringList candidates;
    // Set, it is the only place looked at: a copy elsewhere is not taken instead.
    if (const QByteArray env = qgetenv(kMathJaxDirVariable); !env.isEmpty()) {
        const QString dir = QString::fromLocal8Bit(env);
        return holdsBundle(dir) ? QDir(dir).canonicalPath() : QString();
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

QString localBundleURL() {
    if (localMathJaxDir().isEmpty()) {
        return {};
    }
    return QString(kLocalScheme) + "://mathjax/" + kBundle;
}

QUrl route(const QUrl& url, const QString& localDir) {
    const QString scheme = url.scheme();
    if (scheme == kLocalScheme || scheme == "data" || scheme == "about" || scheme == "blob") {
        return url;
    }
    const QString text = url.toString();
    if (text.startsWith(kMathJaxCDN)) {
        if (localDir.isEmpty()) {
            return {}; // never fetched: without a local copy the page shows text
        }
        QUrl local;
        local.setScheme(kLocalScheme);
        local.setHost("mathjax");
        local.setPath('/' + text.mid(int(qstrlen(kMathJaxCDN))).section('?', 0, 0));
        return local;
    }
    return {};
}

} // namespace ombrix::ui::WebContent
