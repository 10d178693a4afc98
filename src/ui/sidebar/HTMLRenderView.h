#pragma once

#include <QString>
#include <QWidget>

namespace ombrix::ui {

// A table result inside its sidebar row: the HTML fragment in a small page that draws no
// background. The fragment comes from a file, so the page runs no script and reaches no
// network. Shown by the web module's view; when that module cannot be loaded, as Qt rich
// text in a browser that loads nothing. GUI thread only.
class HTMLRenderView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 280;
    static constexpr int kHeight = 150;

    explicit HTMLRenderView(QWidget* parent = nullptr);

    void setHtml(const QString& fragment, bool scrollEnabled = true);
    const QString& fragment() const { return fragment_; }
    bool scrollEnabled() const { return scrollEnabled_; }
    // True once the page has finished loading (successfully or not).
    bool isLoaded() const { return loaded_; }
    // The view showing the page: the web module's, or the rich-text stand-in.
    QWidget* content() const { return content_; }
    bool showsWebPage() const { return web_; }

    // The page around a fragment, exactly as it is loaded.
    static QString pageHTML(const QString& fragment, bool scrollEnabled);

private:
    QString fragment_;
    bool scrollEnabled_ = true;
    bool loaded_ = false;
    bool web_ = false;
    QWidget* content_ = nullptr;
};

} // namespace ombrix::ui
