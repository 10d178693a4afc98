#pragma once

#include <QString>
#include <QUrl>

namespace ombrix::ui {

// Where the pages of our result and formula views may reach: no network address but the
// MathJax bundle, and that is served from a local MathJax 3 copy whenever one is
// installed. Built into the web module as well, whose profile applies it. Any thread.
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

} // namespace WebContent

} // namespace ombrix::ui
