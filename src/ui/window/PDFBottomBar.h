#pragma once

#include "core/Cancellable.h"

#include <QWidget>
#include <memory>
#include <vector>

class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;
class QPropertyAnimation;

namespace ombrix {
class AppContainer;
class TabSession;
enum class LayoutMode;
} // namespace ombrix

namespace ombrix::ui {

class LoadingBar;
class ToolButton;
class WindowState;

// The row under the page: previous and next page, the page field (page labels accepted),
// zoom out and in, the three layouts, the result count and the loading bar. Reads and
// writes the tab it is given. GUI thread only; the container and the state outlive it.
class PDFBottomBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMinZoom = 0.1;
    static constexpr double kMaxZoom = 5.0;

    PDFBottomBar(AppContainer& container, WindowState& state, QWidget* parent = nullptr);

    void setSession(std::shared_ptr<TabSession> session);

    // Goes to page `index` (clamped) as the buttons and the page field do.
    void goToPage(long long index);
    void submitPageField();

    QLineEdit* pageField() const { return pageField_; }
    QLabel* resultCount() const { return resultCount_; }
    LoadingBar* loadingBar() const { return loadingBar_; }
    ToolButton* button(const QString& symbol) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ToolButton* addButton(const QString& symbol, const QString& toolTip);
    void resetPageField();
    void endEditing();
    void refreshButtons();
    void refreshResultCount();
    void refreshLoading();
    void applyLayout(LayoutMode mode);

    AppContainer& container_;
    WindowState& state_;
    std::shared_ptr<TabSession> session_;
    QLineEdit* pageField_ = nullptr;
    QLabel* pageCount_ = nullptr;
    QLabel* resultCount_ = nullptr;
    LoadingBar* loadingBar_ = nullptr;
    QGraphicsOpacityEffect* loadingFade_ = nullptr;
    QPropertyAnimation* fadeAnimation_ = nullptr;
    std::vector<ToolButton*> buttons_;
    std::vector<Cancellable> sessionObservations_;
    Cancellable searchTextObservation_;
};

} // namespace ombrix::ui
