#include "ui/window/SearchPanel.h"

#include "app/AppContainer.h"
#include "contracts/ContractRegistry.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/ViewPort.h"
#include "tabs/TabSession.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/window/WindowState.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace ombrix::ui {

// ---- SearchResultModel ----

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const SearchResult& result = at(index.row());
    switch (role) {
    case pageRole:
        return result.pageIndex + 1;
    case textRole:
        return QString::fromStdString(result.text);
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QStringLiteral("Page %1: %2")
            .arg(result.pageIndex + 1)
            .arg(QString::fromStdString(result.text));
    default:
        return {};
    }
}

void SearchResultModel::show(const std::vector<SearchResult>& results) {
    // Results carry fresh ids, so matching ends mean the same rows: no pass over a list
    // that may hold a hundred thousand of them, once per delivery.
    const bool extends = results.size() >= results_.size() &&
                         (results_.empty() || (results.front() == results_.front() &&
                                               results[results_.size() - 1] == results_.back()));
    if (extends && results.size() > results_.size()) {
        beginInsertRows({}, static_cast<int>(results_.size()),
                        static_cast<int>(results.size()) - 1);
        results_.insert(results_.end(), results.begin() + static_cast<long>(results_.size()),
                        results.end());
        endInsertRows();
    } else if (!extends) {
        beginResetModel();
        results_ = results;
        endResetModel();
    }
}

namespace {

// "Page N" in the caption size and secondary colour above the text in the body size.
class ResultDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const QFontMetrics body(option.font);
        const QFontMetrics caption(captionFont(option.font));
        return {option.rect.width(), 6 + caption.height() + 2 + body.height() + 6};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &base, painter, option.widget);
        const bool selected = option.state & QStyle::State_Selected;
        const QRect area = option.rect.adjusted(10, 6, -10, -6);
        const QFont caption = captionFont(option.font);
        const QFontMetrics captionMetrics(caption);
        painter->save();
        painter->setFont(caption);
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(
            area.left(), area.top() + captionMetrics.ascent(),
            QStringLiteral("Page %1").arg(index.data(SearchResultModel::pageRole).toInt()));
        painter->setFont(option.font);
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics body(option.font);
        const QString text =
            body.elidedText(index.data(SearchResultModel::textRole).toString().simplified(),
                            Qt::ElideRight, area.width());
        painter->drawText(area.left(), area.top() + captionMetrics.height() + 2 + body.ascent(),
                          text);
        painter->restore();
    }

private:
    static QFont captionFont(QFont font) {
        font.setPointSizeF(font.pointSizeF() * 0.85);
        return font;
    }
};

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

// ---- SearchPanel ----

SearchPanel::SearchPanel(AppContainer& container, WindowState& state, QWidget* parent)
    : QWidget(parent), container_(container), state_(state) {
    setObjectName("SearchPanel");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    submit_ = [this](const std::string& query) {
        try {
            container_.registry().dispatch(ActionID::editFind, "SearchBar", {{"query", query}});
        } catch (const std::exception&) {
            // A search that cannot run shows no results; nothing to report.
        }
    };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The field: a magnifying glass, the text, and a clear button while there is text.
    field_ = new QLineEdit(this);
    field_->setObjectName("searchField");
    field_->setPlaceholderText(tr("Search in PDF..."));
    field_->addAction(
        SymbolIcon::icon("magnifyingglass", palette().color(QPalette::PlaceholderText)),
        QLineEdit::LeadingPosition);
    clearButton_ = new QToolButton(field_);
    clearButton_->setObjectName("clearSearch");
    clearButton_->setAutoRaise(true);
    clearButton_->setCursor(Qt::ArrowCursor);
    clearButton_->setFocusPolicy(Qt::NoFocus);
    clearButton_->setToolTip(tr("Clear Search"));
    clearButton_->setIcon(
        SymbolIcon::icon("xmark.circle.fill", palette().color(QPalette::PlaceholderText), 14));
    clearButton_->setStyleSheet("QToolButton { border: none; padding: 0; }");
    auto* fieldRow = new QHBoxLayout;
    fieldRow->setContentsMargins(8, 8, 8, 8);
    fieldRow->addWidget(field_);
    column->addLayout(fieldRow);
    // The clear button sits inside the field at its right end.
    auto* inner = new QHBoxLayout(field_);
    inner->setContentsMargins(0, 0, 4, 0);
    inner->addStretch(1);
    inner->addWidget(clearButton_);
    field_->setTextMargins(0, 0, 18, 0);

    connect(field_, &QLineEdit::textEdited, this,
            [this](const QString& text) { state_.searchText = text.toStdString(); });
    connect(field_, &QLineEdit::returnPressed, this, &SearchPanel::submit);
    connect(clearButton_, &QToolButton::clicked, this, &SearchPanel::clear);

    // Header.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 4, 12, 4);
    auto* title = new QLabel(tr("Search Results"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    header->addWidget(title);
    header->addStretch(1);
    count_ = new QLabel(this);
    count_->setObjectName("searchCount");
    QFont caption = count_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    count_->setFont(caption);
    count_->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(count_);
    column->addLayout(header);

    // Progress of a search still running.
    progressRow_ = new QWidget(this);
    auto* progress = new QHBoxLayout(progressRow_);
    progress->setContentsMargins(12, 0, 8, 4);
    progressLabel_ = new QLabel(progressRow_);
    progressLabel_->setFont(caption);
    progressLabel_->setForegroundRole(QPalette::PlaceholderText);
    progressBar_ = new QProgressBar(progressRow_);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedHeight(6);
    auto* stop = new QToolButton(progressRow_);
    stop->setObjectName("stopSearch");
    stop->setAutoRaise(true);
    stop->setToolTip(tr("Stop Searching"));
    stop->setIcon(SymbolIcon::icon("stop.circle", palette().color(QPalette::WindowText), 14));
    connect(stop, &QToolButton::clicked, this, [this] {
        if (onStop_) {
            onStop_();
        }
    });
    auto* progressColumn = new QVBoxLayout;
    progressColumn->setSpacing(2);
    progressColumn->addWidget(progressLabel_);
    progressColumn->addWidget(progressBar_);
    progress->addLayout(progressColumn, 1);
    progress->addWidget(stop);
    progressRow_->hide();
    column->addWidget(progressRow_);

    // Body: a hint, "No results found", or the rows.
    body_ = new QStackedWidget(this);
    auto* typeToSearch = new QWidget(body_);
    auto* hint = new QVBoxLayout(typeToSearch);
    hint->addStretch(1);
    auto* glass = new QLabel(typeToSearch);
    glass->setAlignment(Qt::AlignCenter);
    glass->setPixmap(SymbolIcon::tinted(
        "magnifyingglass", palette().color(QPalette::PlaceholderText), 40, devicePixelRatioF()));
    hint->addWidget(glass);
    hint->addWidget(secondaryLabel(tr("Type to search"), typeToSearch));
    hint->addStretch(1);
    body_->addWidget(typeToSearch);
    body_->addWidget(secondaryLabel(tr("No results found"), body_));
    model_ = new SearchResultModel(this);
    list_ = new QListView(body_);
    list_->setObjectName("searchResults");
    list_->setModel(model_);
    list_->setItemDelegate(new ResultDelegate(list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(list_, &QListView::activated, this,
            [this](const QModelIndex& index) { choose(index.row()); });
    connect(list_, &QListView::clicked, this,
            [this](const QModelIndex& index) { choose(index.row()); });
    body_->addWidget(list_);
    column->addWidget(body_, 1);

    textObservation_ = state_.searchText.observe([this](const std::string& text) {
        if (field_->text().toStdString() != text) {
            field_->setText(QString::fromStdString(text));
        }
        refresh();
    });
    refresh();
}

void SearchPanel::setSession(std::shared_ptr<TabSession> session) {
    session_ = std::move(session);
    resultsObservation_ = session_
                              ? session_->searchResults.observe([this](const auto&) { refresh(); })
                              : Cancellable();
    refresh();
}

void SearchPanel::refresh() {
    const bool hasText = !state_.searchText().empty();
    static const std::vector<SearchResult> none;
    const auto& results = session_ ? session_->searchResults() : none;
    clearButton_->setVisible(hasText);
    count_->setVisible(hasText);
    count_->setText(QString::number(results.size()));
    model_->show(results);
    body_->setCurrentIndex(!hasText ? 0 : results.empty() ? 1 : 2);
}

void SearchPanel::setProgress(int done, int total, std::function<void()> onStop) {
    onStop_ = std::move(onStop);
    if (total <= 0) {
        progressRow_->hide();
        return;
    }
    progressLabel_->setText(tr("Searching… page %1 of %2").arg(done).arg(total));
    progressBar_->setRange(0, total);
    progressBar_->setValue(done);
    progressRow_->show();
}

void SearchPanel::submit() {
    state_.searchText = field_->text().toStdString();
    if (submit_ && !state_.searchText().empty()) {
        submit_(state_.searchText());
    }
}

void SearchPanel::clear() {
    state_.searchText = std::string();
    if (session_) {
        session_->searchResults = std::vector<SearchResult>{};
    }
    if (onStop_) {
        onStop_();
    }
}

void SearchPanel::focusField() {
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void SearchPanel::choose(int row) {
    if (!session_ || row < 0 || row >= model_->rowCount()) {
        return;
    }
    const SearchResult result = model_->at(row);
    session_->currentPage = result.pageIndex;
    auto view = container_.activePDFView();
    auto engine = PDFKitBridge::engineDocument(*session_->document);
    if (!view || !engine) {
        return;
    }
    auto page = engine->page(result.pageIndex);
    if (!page) {
        return;
    }
    view->goToDestination(page, Point{result.bounds.minX(), result.bounds.maxY()});
    view->setCurrentSelection(page->selection(result.bounds), true);
}

} // namespace ombrix::ui
