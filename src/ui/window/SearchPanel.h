#pragma once

#include "core/Cancellable.h"
#include "search/SearchResult.h"

#include <QAbstractListModel>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QStackedWidget;
class QToolButton;

namespace ombrix {
class AppContainer;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

class WindowState;

// The results of the tab's last search as list rows ("Page N" over the matched text).
// Appending keeps the rows already shown, so results can arrive page by page.
class SearchResultModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { pageRole = Qt::UserRole + 1, textRole };

    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Shows `results`; when they extend the rows shown, only the new rows are inserted.
    void show(const std::vector<SearchResult>& results);
    const SearchResult& at(int row) const { return results_[static_cast<std::size_t>(row)]; }

private:
    std::vector<SearchResult> results_;
};

// The side panel for searching: the search field on top, then the header with the
// result count, the progress of a running search, and the result rows (or a hint when
// there is nothing to list). Choosing a row shows the match on its page. GUI thread only;
// the container and the state outlive it.
class SearchPanel : public QWidget {
    Q_OBJECT
public:
    // Runs a search for the active tab; the default dispatches "edit.find" from "SearchBar".
    using Submit = std::function<void(const std::string& query)>;

    SearchPanel(AppContainer& container, WindowState& state, QWidget* parent = nullptr);

    void setSession(std::shared_ptr<TabSession> session);
    void setSubmit(Submit submit) { submit_ = std::move(submit); }

    // A search running in the background: "page N of M" with a stop button that calls
    // `onStop`. Hidden when `total` is 0.
    void setProgress(int done, int total, std::function<void()> onStop = {});

    // Submits what the field holds (as Return does).
    void submit();
    void clear();
    void choose(int row);
    void focusField();

    QLineEdit* field() const { return field_; }
    QToolButton* clearButton() const { return clearButton_; }
    QLabel* countLabel() const { return count_; }
    QListView* list() const { return list_; }
    QStackedWidget* body() const { return body_; }
    QWidget* progressRow() const { return progressRow_; }
    QLabel* progressLabel() const { return progressLabel_; }
    SearchResultModel* model() const { return model_; }

private:
    void refresh();

    AppContainer& container_;
    WindowState& state_;
    std::shared_ptr<TabSession> session_;
    Submit submit_;
    std::function<void()> onStop_;
    QLineEdit* field_ = nullptr;
    QToolButton* clearButton_ = nullptr;
    QLabel* count_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QListView* list_ = nullptr;
    QWidget* progressRow_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    SearchResultModel* model_ = nullptr;
    Cancellable textObservation_;
    Cancellable resultsObservation_;
};

} // namespace ombrix::ui
