#pragma once

#include <QString>
#include <QUrl>

class QWebEngineProfile;

namespace ombrix::ui {

// The one web profile of our result and formula pages: kept off the record (nothing of
// what is opened lands on disk), its pages may reach no network address but the MathJax
// bundle, and that is served from a local MathJax 3 copy whenever one is installed. GUI
// thread only; the profile lives as long as the application object.
namespace WebContent {

// Where the formula page asks for MathJax.
inline constexpr const char* kMathJaxCDN = "https://cdn.jsdelivr.net/npm/mathjax@3/";
// Our scheme for the local copy.
inline constexpr const char* kLocalScheme = "ombrix-mathjax";
// Overrides the folder searched for the local copy (the one holding es5/).
inline constexpr const char* kMathJaxDirVariable = "OMBRIX_MATHJAX_DIR";

// The local MathJax 3 folder (holding es5/tex-mml-chtml.js): $OMBRIX_MATHJAX_DIR, then the
// copies scripts/install-deps puts under /usr/local/share and /usr/share, then one beside
// the executable. Empty when none is installed.
QString localMathJaxDir();

// Where a request for `url` goes: the local copy for the MathJax bundle when there is one
// (the URL itself when not); an empty URL for anything else on the network, which is
// blocked. Pages are loaded as HTML strings, so nothing else is asked for.
QUrl route(const QUrl& url, const QString& localDir);

// The shared profile; registers our scheme first, so call it before any other web
// engine object is made.
QWebEngineProfile* profile();

// Makes the profile and one blank page, so the engine's start is paid before a result
// view is needed; once per process.
void warmUp();

} // namespace WebContent

} // namespace ombrix::ui
