#pragma once

#include <QString>
#include <QUrl>

namespace ombrix::ui {

// Where the pages of our result and formula views may reach: nowhere on the network. The
// formula page loads MathJax from the local MathJax 3 copy, under our own scheme, or not
// at all. Built into the web module as well, whose profile applies it. Any thread.
namespace WebContent {

// Where pages written for the public MathJax bundle ask for it; only ever answered from
// the local copy.
inline constexpr const char* kMathJaxCDN = "https://cdn.jsdelivr.net/npm/mathjax@3/";
// Our scheme for the local copy.
inline constexpr const char* kLocalScheme = "ombrix-mathjax";
// Overrides the folder searched for the local copy (the one holding es5/).
inline constexpr const char* kMathJaxDirVariable = "OMBRIX_MATHJAX_DIR";

// The local MathJax 3 folder (holding es5/tex-mml-chtml.js): $OMBRIX_MATHJAX_DIR alone when
// it is set, else the copies scripts/install-deps puts under /usr/local/share and
// /usr/share, then one beside the executable. Empty when none is installed.
QString localMathJaxDir();

// The URL the formula page loads MathJax from: the bundle of the local copy under our
// scheme; empty when no copy is installed (the page then shows the LaTeX as text).
QString localBundleURL();

// Where a request for `url` goes: our scheme and in-page data as they are; a request for
// the public bundle to the local copy when there is one; an empty URL, which is blocked,
// for everything else, the network above all. Pages are loaded as HTML strings, so nothing
// else is asked for.
QUrl route(const QUrl& url, const QString& localDir);

} // namespace WebContent

} // namespace ombrix::ui
