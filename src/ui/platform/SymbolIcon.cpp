#include "ui/platform/SymbolIcon.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace ombrix::ui::SymbolIcon {

namespace {

struct Entry {
    const char* theme;
    const char* svgBody; // inside a 16x16 viewBox, stroked in black
};

// Line drawings of our own, used when the icon theme has no such icon.
const QHash<QString, Entry>& table() {
    static const QHash<QString, Entry> entries{
        {"sidebar.left",
         {"sidebar-show", "<rect x='1.5' y='2.5' width='13' height='11' rx='1.5'/>"
                          "<path d='M6 2.5v11M3 5h1.5M3 7h1.5M3 9h1.5'/>"}},
        {"folder",
         {"document-open", "<path d='M1.5 4.5v8a1 1 0 0 0 1 1h11a1 1 0 0 0 1-1v-6.5a1 1 0 0 0-1-1H8"
                           "l-1.5-1.5h-4a1 1 0 0 0-1 1z'/>"}},
        {"square.and.arrow.down",
         {"document-save", "<path d='M5 6.5l3 3 3-3M8 1.5v8M4.5 4.5h-2v9h11v-9h-2'/>"}},
        {"magnifyingglass",
         {"edit-find", "<circle cx='6.5' cy='6.5' r='4.5'/><path d='M10 10l4.5 4.5'/>"}},
        {"arrow.uturn.backward", {"edit-undo", "<path d='M5 3L2 6l3 3M2 6h8a4 4 0 0 1 0 8H7'/>"}},
        {"arrow.uturn.forward", {"edit-redo", "<path d='M11 3l3 3-3 3M14 6H6a4 4 0 0 0 0 8h3'/>"}},
        {"textformat",
         {"insert-text", "<path d='M2 13l3.5-10 3.5 10M3.2 9.5h4.6M11 13V8.5a2 2 0 0 1 3.5 0V13"
                         "M14.5 11h-2a1.2 1.2 0 0 0 0 2.2h2'/>"}},
        {"square.dashed",
         {"draw-rectangle", "<path d='M2 5V2h3M7 2h2M11 2h3v3M14 7v2M14 11v3h-3M9 14H7M5 14H2v-3"
                            "M2 9V7'/>"}},
        {"note.text",
         {"knotes", "<path d='M2.5 2.5h11v8l-3 3h-8zM10.5 13.5v-3h3M5 6h6M5 8.5h4'/>"}},
        {"highlighter",
         {"draw-highlight", "<path d='M9.5 2.5l4 4-6 6h-4v-4zM3.5 12.5l-2 2h4M7.5 4.5l4 4'/>"}},
        {"xmark", {"window-close", "<path d='M4 4l8 8M12 4l-8 8'/>"}},
        {"xmark.circle.fill",
         {"edit-clear",
          "<path fill='black' stroke='none' fill-rule='evenodd' d='M8 1.5a6.5 6.5 0 1 0"
          " 0 13a6.5 6.5 0 1 0 0-13zM4.9 6l1.1-1.1 2 2 2-2 1.1 1.1-2 2 2 2-1.1 1.1-2-2"
          "-2 2-1.1-1.1 2-2z'/>"}},
        {"doc.richtext",
         {"x-office-document", "<path d='M3.5 1.5h6l3 3v10h-9zM9.5 1.5v3h3M5.5 8h5M5.5 10h5"
                               "M5.5 12h3'/>"}},
        {"chevron.left", {"go-previous", "<path d='M10 3L5 8l5 5'/>"}},
        {"chevron.right", {"go-next", "<path d='M6 3l5 5-5 5'/>"}},
        {"minus.magnifyingglass",
         {"zoom-out", "<circle cx='6.5' cy='6.5' r='4.5'/><path d='M10 10l4.5 4.5M4.5 6.5h4'/>"}},
        {"plus.magnifyingglass",
         {"zoom-in", "<circle cx='6.5' cy='6.5' r='4.5'/>"
                     "<path d='M10 10l4.5 4.5M4.5 6.5h4M6.5 4.5v4'/>"}},
        {"doc", {"view-paged", "<path d='M3.5 1.5h6l3 3v10h-9zM9.5 1.5v3h3'/>"}},
        {"book",
         {"view-dual", "<path d='M8 3.5v10M8 3.5C6.5 2.5 4 2.5 1.5 3v10c2.5-.5 5-.5 6.5.5"
                       "M8 3.5c1.5-1 4-1 6.5-.5v10c-2.5-.5-5-.5-6.5.5'/>"}},
        {"doc.text",
         {"view-continuous", "<path d='M3.5 1.5h9v5h-9zM3.5 9.5h9v5h-9zM5.5 3.5h5M5.5 11.5h5'/>"}},
        {"stop.circle",
         {"process-stop", "<circle cx='8' cy='8' r='6.5'/>"
                          "<rect x='5.5' y='5.5' width='5' height='5' fill='black'/>"}},
        {"tablecells",
         {"x-office-spreadsheet", "<rect x='1.5' y='2.5' width='13' height='11' rx='1'/>"
                                  "<path d='M1.5 6.5h13M1.5 10h13M6 2.5v11M10.5 2.5v11'/>"}},
        {"function",
         {"", "<path d='M11 2.5c-2.5-1-3.5.5-4 3l-1.5 7c-.5 2-1.5 2.5-3 2'/>"
              "<path d='M4.5 6.5h6M9.5 9l4 4.5M13.5 9l-4 4.5'/>"}},
        {"crop", {"transform-crop", "<path d='M4.5 1v10.5H15M1 4.5h10.5V15'/>"}},
        {"trash", {"edit-delete", "<path d='M2.5 4h11M6 4V2.5h4V4M4 4l.8 10h6.4L12 4'/>"}},
        {"text.bubble.fill", {"", "<path d='M2 3h12v8H7l-3 3v-3H2z' fill='black'/>"}},
        {"doc.on.doc", {"edit-copy", "<path d='M5.5 4.5h8v10h-8zM3 11.5V1.5h7'/>"}},
        {"list.bullet",
         {"view-list", "<path d='M6 4h8M6 8h8M6 12h8'/><circle cx='2.5' cy='4' r='.8'/>"
                       "<circle cx='2.5' cy='8' r='.8'/><circle cx='2.5' cy='12' r='.8'/>"}},
        {"doc.on.doc",
         {"edit-copy", "<rect x='5.5' y='5.5' width='8' height='9' rx='1'/>"
                       "<path d='M3.5 11.5h-1v-9a1 1 0 0 1 1-1h7v1'/>"}},
    };
    return entries;
}

QImage drawFallback(const Entry& entry, int pixels) {
    const QByteArray svg = QByteArray("<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 16 16' "
                                      "fill='none' stroke='black' stroke-width='1.4' "
                                      "stroke-linecap='round' stroke-linejoin='round'>") +
                           entry.svgBody + "</svg>";
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(svg);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QImage fromTheme(const QString& name, int pixels) {
    for (const QString& candidate : {name + "-symbolic", name}) {
        const QIcon icon = QIcon::fromTheme(candidate);
        if (!icon.isNull()) {
            QPixmap pixmap = icon.pixmap(QSize(pixels, pixels));
            if (!pixmap.isNull()) {
                return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            }
        }
    }
    return {};
}

} // namespace

QString themeName(const QString& symbol) {
    const auto it = table().find(symbol);
    return it == table().end() ? QString() : QString::fromLatin1(it->theme);
}

bool hasFallback(const QString& symbol) {
    return table().contains(symbol);
}

QPixmap tinted(const QString& symbol, const QColor& color, int size, qreal devicePixelRatio) {
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    QImage shape;
    const auto it = table().find(symbol);
    if (it != table().end()) {
        shape = fromTheme(QString::fromLatin1(it->theme), pixels);
        if (shape.isNull()) {
            shape = drawFallback(*it, pixels);
        }
    }
    if (shape.isNull()) {
        shape = QImage(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        shape.fill(Qt::transparent);
        QPainter dot(&shape);
        dot.setRenderHint(QPainter::Antialiasing);
        dot.setBrush(Qt::black);
        dot.setPen(Qt::NoPen);
        dot.drawEllipse(QRectF(pixels * 0.35, pixels * 0.35, pixels * 0.3, pixels * 0.3));
    }
    // Keep the shape's coverage, take the colour: symbols are drawn in one colour.
    QPainter painter(&shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(shape.rect(), color);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(shape);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon icon(const QString& symbol, const QColor& color, int size) {
    QIcon result;
    for (qreal ratio : {1.0, 2.0}) {
        result.addPixmap(tinted(symbol, color, size, ratio), QIcon::Normal);
        QColor faded = color;
        faded.setAlphaF(0.35);
        result.addPixmap(tinted(symbol, faded, size, ratio), QIcon::Disabled);
    }
    return result;
}

} // namespace ombrix::ui::SymbolIcon
