#pragma once

// The views that need a browser engine live in a module of their own (libombrix_web.so),
// loaded the first time one is wanted: a reader that never shows a table result or a
// formula never maps the engine's hundred-odd megabytes of libraries.

#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <functional>

class QWidget;

namespace ombrix::ui {

// What the web module makes. Every call on the GUI thread; the views belong to the
// parent they are made with.
class WebViewFactory {
public:
    virtual ~WebViewFactory() = default;

    // A view of a whole HTML page that runs no script and reaches no network. `loaded` is
    // called each time a page has finished loading, well or not.
    virtual QWidget* makeResultView(QWidget* parent, std::function<void(bool ok)> loaded) = 0;
    // A view of a formula page that MathJax typesets (from the local copy when one is
    // installed). `typeset` is called once per page: true once MathJax drew it, false when
    // it failed to load or gave up.
    virtual QWidget* makeFormulaView(QWidget* parent,
                                     std::function<void(bool typeset)> typeset) = 0;
    // Loads a page into a view made above.
    virtual void setPage(QWidget* view, const QString& html) = 0;
    // Starts the engine with one blank page, so the first real view does not wait for it.
    virtual void warmUp() = 0;
};

namespace WebViews {

// Names the one module file to load, for the tests and for relocated installs.
inline constexpr const char* kModuleVariable = "OMBRIX_WEB_MODULE";
inline constexpr const char* kModuleFile = "libombrix_web.so";

// The module's factory, loaded on the first call: from $OMBRIX_WEB_MODULE when that is
// set, else beside the executable, else from the private library folder of an installed
// program. nullptr when it cannot be loaded or the engine could not start here (see
// startRefusal); the reason is logged once and kept in loadError(). GUI thread only; the
// module stays loaded until the process ends.
WebViewFactory* factory();
QString loadError();

// Why the web engine must not be started in a process of this effective user, with these
// two environment variables and these arguments; empty when it may. Its Chromium ends the
// whole process when run as root with its sandbox on: only the user may turn that off
// (QTWEBENGINE_DISABLE_SANDBOX=1, or --no-sandbox in QTWEBENGINE_CHROMIUM_FLAGS or after
// --webEngineArgs); the program never does.
QString startRefusal(unsigned effectiveUser, const QString& disableSandbox,
                     const QString& chromiumFlags, const QStringList& arguments);

} // namespace WebViews

} // namespace ombrix::ui

#define OMBRIX_WEB_VIEW_FACTORY_IID "org.ombrix.pdf.WebViewFactory/1"
Q_DECLARE_INTERFACE(ombrix::ui::WebViewFactory, OMBRIX_WEB_VIEW_FACTORY_IID)
