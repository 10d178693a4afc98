#pragma once

#include "core/Cancellable.h"
#include "core/Color.h"
#include "extraction/ExtractedHighlight.h"
#include "extraction/FormulaSource.h"
#include "ui/math/MathViewWindow.h"
#include "ui/sidebar/HighlightSelection.h"

#include <QFrame>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace ombrix {
class BacklinkHighlightManager;
class HighlightRegionActions;
class MarkupController;
class TabSession;
class UserInteraction;
struct ActiveViews;
} // namespace ombrix

namespace ombrix::ui {

class HighlightRow;

// The highlight list of the active tab: count, colour chips, "Select All" and "Change"
// for bulk recolouring, and one row per highlight with its comment, its result and the
// Table, Math and Crop actions. The actions run off the GUI thread; their outcome comes
// back through the main queue. GUI thread only; the services outlive the sidebar.
class HighlightSidebar : public QWidget {
    Q_OBJECT
public:
    struct Services {
        std::shared_ptr<BacklinkHighlightManager> manager;
        std::shared_ptr<UserInteraction> userInteraction;
        std::shared_ptr<const ActiveViews> views;
        // null: the sidebar's own, running its work in the background
        std::shared_ptr<HighlightRegionActions> actions;
        // Where recolours, comments and deletes become undoable steps; null: the sidebar's
        // own, with an undo history of its own.
        std::shared_ptr<MarkupController> markup;
        // Told when the user picks where formulas are read from, to keep the choice.
        std::function<void(FormulaSource)> formulaSourceChosen;
    };

    explicit HighlightSidebar(Services services, QWidget* parent = nullptr);
    ~HighlightSidebar() override;

    void setSession(std::shared_ptr<TabSession> session);
    const std::shared_ptr<TabSession>& session() const { return session_; }
    // Rebuilds the list from the tab's document.
    void refreshHighlights();

    // Called with a highlight when its row is chosen.
    std::function<void(const ExtractedHighlight&)> onSelectHighlight;

    // What the controls do, callable directly.
    void selectByColour(const Color& colour);
    void selectAll();
    void applyBulkColour(const Color& colour);
    void beginComment(const std::string& id);
    void saveComment(const std::string& text);
    void cancelComment();
    void runTable(const std::string& id);
    // "page first" or "server only" for the Math actions from now on.
    void setFormulaSource(FormulaSource source);
    void runMath(const std::string& id);
    void runCrop(const std::string& id);
    void cancelMath();
    void viewMath(const std::string& id);
    void copyResult(const std::string& id);
    void deleteHighlight(const std::string& id);

    const HighlightSelection& selection() const { return selection_; }
    const std::optional<std::string>& commentTargetID() const { return commentTargetID_; }
    HighlightRegionActions& actions() const { return *actions_; }
    const std::vector<Color>& availableColors() const { return availableColors_; }

    QLabel* countLabel() const { return count_; }
    QComboBox* formulaSourceBox() const { return formulaSource_; }
    const std::vector<QToolButton*>& colourChips() const { return chips_; }
    QPushButton* selectAllButton() const { return selectAll_; }
    QPushButton* changeButton() const { return change_; }
    QWidget* changePopover() const { return popover_; }
    QWidget* emptyState() const { return empty_; }
    HighlightRow* row(const std::string& id) const;
    std::vector<HighlightRow*> rows() const;
    MathViewWindow* mathWindow() const { return mathWindow_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildRows();
    void refreshSelection();
    void refreshBusy();
    void showChangePopover();
    std::optional<ExtractedHighlight> entry(const std::string& id) const;
    void redrawPage();

    Services services_;
    std::shared_ptr<HighlightRegionActions> actions_;
    std::shared_ptr<TabSession> session_;
    HighlightSelection selection_;
    bool cancellableMath_ = false; // the running action is a formula request
    std::optional<std::string> commentTargetID_;
    std::string commentText_;
    std::vector<Color> availableColors_;

    QLabel* count_ = nullptr;
    QComboBox* formulaSource_ = nullptr;
    std::vector<QToolButton*> chips_;
    QPushButton* selectAll_ = nullptr;
    QPushButton* change_ = nullptr;
    QFrame* popover_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* empty_ = nullptr;
    QWidget* list_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    std::map<std::string, HighlightRow*> rows_;
    QPointer<MathViewWindow> mathWindow_;
    std::vector<Cancellable> observations_;
    std::vector<Cancellable> sessionObservations_;
};

} // namespace ombrix::ui
