#pragma once

#include <QDialog>
#include <filesystem>

namespace ombrix::ui {

// The help sheet: the version, the keys of the modal keyboard engine and the menus, and
// where settings and the per-document records live. GUI thread only.
class HelpDialog : public QDialog {
    Q_OBJECT
public:
    HelpDialog(const std::filesystem::path& settingsFile,
               const std::filesystem::path& sidecarFolder, QWidget* parent = nullptr);

    // The sheet's text as HTML (for tests and the screenshot).
    static QString html(const std::filesystem::path& settingsFile,
                        const std::filesystem::path& sidecarFolder);
};

} // namespace ombrix::ui
