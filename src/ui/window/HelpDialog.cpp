#include "ui/window/HelpDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace ombrix::ui {

QString HelpDialog::html(const std::filesystem::path& settingsFile,
                         const std::filesystem::path& sidecarFolder) {
    const auto row = [](const char* keys, const char* what) {
        return QStringLiteral("<tr><td><code>%1</code></td><td>%2</td></tr>")
            .arg(QString::fromUtf8(keys).toHtmlEscaped(), QString::fromUtf8(what));
    };
    QString text;
    text += QStringLiteral("<h2>Ombrix PDF %1</h2>").arg(QCoreApplication::applicationVersion());
    text += "<p>A PDF reader and markup editor with tabs.</p>";
    text += "<h3>Keys in the page view</h3><table cellspacing='0' cellpadding='3'>";
    text += row("j  k", "scroll down, up (100 points; a count before it multiplies: 5j)");
    text += row("h  l", "scroll left, right");
    text += row("gg  G", "first page, last page");
    text += row(":", "command line: a page number and Return goes to that page");
    text += row("/", "search prompt: the text and Return searches the document");
    text += row("Esc", "closes the prompt, drops a half-typed command");
    text += row("y", "in visual mode: copies the selected text");
    text += "</table>";
    text += "<h3>Window</h3><table cellspacing='0' cellpadding='3'>";
    text += row("Ctrl+O  Ctrl+S", "open, save");
    text += row("Ctrl+F", "search panel");
    text += row("Ctrl++  Ctrl+-  Ctrl+0", "zoom in, out, fit");
    text += row("Ctrl+Down  Ctrl+Up", "next, previous page");
    text += row("Ctrl+Shift+H", "highlight sidebar");
    text += row("Ctrl+W  Ctrl+Tab", "close tab, next tab");
    text += "</table>";
    text += "<h3>Files</h3>";
    text +=
        QStringLiteral("<p>Settings: <code>%1</code><br>Per-document records: <code>%2</code></p>")
            .arg(QString::fromStdString(settingsFile.string()).toHtmlEscaped(),
                 QString::fromStdString(sidecarFolder.string()).toHtmlEscaped());
    return text;
}

HelpDialog::HelpDialog(const std::filesystem::path& settingsFile,
                       const std::filesystem::path& sidecarFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName("HelpDialog");
    setWindowTitle(tr("Ombrix PDF Help"));
    resize(520, 560);
    auto* column = new QVBoxLayout(this);
    auto* browser = new QTextBrowser(this);
    browser->setOpenExternalLinks(false);
    browser->setHtml(html(settingsFile, sidecarFolder));
    column->addWidget(browser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

} // namespace ombrix::ui
