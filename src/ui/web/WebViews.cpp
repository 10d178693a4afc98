#include "ui/web/WebViews.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>
#include <QtDebug>
#include <memory>
#include <unistd.h>

namespace ombrix::ui::WebViews {

namespace {

QString& lastError() {
    static QString error;
    return error;
}

// Kept for the life of the process: its views and the engine's threads live until the end.
QPluginLoader* keptLoader = nullptr;

QStringList candidates() {
    if (const QString named = qEnvironmentVariable(kModuleVariable); !named.isEmpty()) {
        return {named};
    }
    const QDir here(QCoreApplication::applicationDirPath());
    return {here.filePath(kModuleFile),
            QDir(here.filePath(OMBRIX_WEB_MODULE_RELATIVE_DIR)).filePath(kModuleFile)};
}

WebViewFactory* unavailable(const QString& why) {
    lastError() = why;
    qWarning().noquote() << "Ombrix PDF:" << why
                         << "- table results show as plain rich text and formulas as LaTeX";
    return nullptr;
}

WebViewFactory* load() {
    QStringList tried;
    QStringList present;
    for (const QString& path : candidates()) {
        (QFileInfo::exists(path) ? present : tried) << path;
    }
    for (QString& path : tried) {
        path += " (missing)";
    }
    // Before the module is mapped: it is what starts the engine.
    if (!present.isEmpty()) {
        if (QString why = startRefusal(
                geteuid(), qEnvironmentVariable("QTWEBENGINE_DISABLE_SANDBOX"),
                qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"), QCoreApplication::arguments());
            !why.isEmpty()) {
            return unavailable(why);
        }
    }
    for (const QString& path : present) {
        auto loader = std::make_unique<QPluginLoader>(path);
        loader->setLoadHints(QLibrary::PreventUnloadHint);
        if (auto* factory = qobject_cast<WebViewFactory*>(loader->instance())) {
            keptLoader = loader.release();
            return factory;
        }
        tried << path + " (" + loader->errorString() + ")";
    }
    return unavailable("the web view module could not be loaded: " + tried.join("; "));
}

} // namespace

QString startRefusal(unsigned effectiveUser, const QString& disableSandbox,
                     const QString& chromiumFlags, const QStringList& arguments) {
    if (effectiveUser != 0) {
        return {};
    }
    if (disableSandbox.trimmed() == "1") {
        return {};
    }
    if (chromiumFlags.simplified().split(' ', Qt::SkipEmptyParts).contains("--no-sandbox")) {
        return {};
    }
    const auto engineArgs = arguments.indexOf("--webEngineArgs");
    if (engineArgs >= 0 && arguments.mid(engineArgs + 1).contains("--no-sandbox")) {
        return {};
    }
    return "the web engine was not started: it cannot run as root with its sandbox on "
           "(set QTWEBENGINE_DISABLE_SANDBOX=1 to allow it without the sandbox)";
}

WebViewFactory* factory() {
    static WebViewFactory* const loaded = load();
    return loaded;
}

QString loadError() {
    factory();
    return lastError();
}

} // namespace ombrix::ui::WebViews
