#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace ombrix::ui {

// The views name their icons by symbol ("folder", "magnifyingglass", ...). Each symbol
// maps to a freedesktop icon-theme name, looked up symbolic first; a small SVG of our own
// stands in when the theme has none. GUI thread only.
namespace SymbolIcon {

// The theme name a symbol maps to; empty for an unknown symbol.
QString themeName(const QString& symbol);

// True when the symbol has a bundled fallback drawing.
bool hasFallback(const QString& symbol);

// The symbol as one colour (the way toolbar symbols are drawn), `size` logical pixels
// square at the device pixel ratio given. Never null: an unknown symbol draws a dot.
QPixmap tinted(const QString& symbol, const QColor& color, int size, qreal devicePixelRatio = 1.0);

// An icon with the normal, active and disabled looks in `color` (disabled faded).
QIcon icon(const QString& symbol, const QColor& color, int size = 16);

} // namespace SymbolIcon

} // namespace ombrix::ui
