#include "ui/sidebar/HighlightSidebar.h"

#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "annotations/MarkupController.h"
#include "core/UserInteraction.h"
#include "document/ActiveViews.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightRegionActions.h"
#include "extraction/TableLayout.h"
#include "extraction/TableMarkup.h"
#include "tabs/TabSession.h"
#include "ui/math/MathViewWindow.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/sidebar/HighlightRow.h"
#include "ui/web/WebViews.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ombrix::ui {

namespace {

QColor qColor(const Color& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), 1.0f);
}

QIcon chipIcon(const Color& colour, bool chosen, int size) {
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(qColor(colour));
    painter.setPen(QPen(chosen ? QColor(40, 40, 40) : QColor(0, 0, 0, 60), chosen ? 2.0 : 1.0));
    painter.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
    return QIcon(pixmap);
}

} // namespace

HighlightSidebar::HighlightSidebar(Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    setObjectName("HighlightSidebar");
    if (!services_.manager) {
        services_.manager = std::make_shared<BacklinkHighlightManager>();
    }
    if (!services_.markup) {
        services_.markup = std::make_shared<MarkupController>(std::make_shared<AppUndoManager>());
    }
    actions_ = services_.actions;
    if (!actions_) {
        HighlightRegionActions::Services actionServices;
        actionServices.manager = services_.manager;
        actionServices.userInteraction = services_.userInteraction;
        actionServices.views = services_.views;
        actionServices.background = true;
        actions_ = std::make_shared<HighlightRegionActions>(std::move(actionServices));
    }
    for (const auto& colour : HighlightColor::defaults()) {
        availableColors_.push_back(colour.nsColor.withAlpha(1));
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setObjectName("HighlightHeader");
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(10, 8, 10, 8);
    headerColumn->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(tr("Highlights"), header);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.15);
    title->setFont(headline);
    titleRow->addWidget(title);
    count_ = new QLabel(header);
    count_->setObjectName("countLabel");
    count_->setForegroundRole(QPalette::PlaceholderText);
    titleRow->addWidget(count_);
    titleRow->addStretch(1);
    // Where Math reads formulas: the page's own glyphs, with the server for scans, or the
    // server alone.
    formulaSource_ = new QComboBox(header);
    formulaSource_->setObjectName("formulaSource");
    formulaSource_->addItem(tr("Page first"), int(FormulaSource::automatic));
    formulaSource_->addItem(tr("Server only"), int(FormulaSource::server));
    formulaSource_->setToolTip(
        tr("Math reads a formula from the page's own glyphs, and asks the recognition server "
           "only for scans and pictures (page first), or always asks the server (server only)"));
    formulaSource_->setCurrentIndex(actions_->formulaSource() == FormulaSource::server ? 1 : 0);
    connect(formulaSource_, &QComboBox::activated, this, [this](int index) {
        const auto source = FormulaSource(formulaSource_->itemData(index).toInt());
        setFormulaSource(source);
        if (services_.formulaSourceChosen) {
            services_.formulaSourceChosen(source);
        }
    });
    titleRow->addWidget(new QLabel(tr("Math:"), header));
    titleRow->addWidget(formulaSource_);
    headerColumn->addLayout(titleRow);

    auto* chipRow = new QHBoxLayout;
    chipRow->setSpacing(2);
    for (std::size_t i = 0; i < availableColors_.size(); ++i) {
        auto* chip = new QToolButton(header);
        chip->setObjectName(QString::fromStdString("chip" + HighlightColor::defaults()[i].name));
        chip->setToolTip(tr("Select %1 highlights")
                             .arg(QString::fromStdString(HighlightColor::defaults()[i].name)));
        chip->setAutoRaise(true);
        chip->setIconSize(QSize(18, 18));
        const Color colour = availableColors_[i];
        connect(chip, &QToolButton::clicked, this, [this, colour] { selectByColour(colour); });
        chips_.push_back(chip);
        chipRow->addWidget(chip);
    }
    chipRow->addStretch(1);
    selectAll_ = new QPushButton(tr("Select All"), header);
    selectAll_->setObjectName("selectAllButton");
    selectAll_->setFlat(true);
    connect(selectAll_, &QPushButton::clicked, this, [this] { selectAll(); });
    chipRow->addWidget(selectAll_);
    change_ = new QPushButton(tr("Change"), header);
    change_->setObjectName("changeButton");
    connect(change_, &QPushButton::clicked, this, [this] { showChangePopover(); });
    chipRow->addWidget(change_);
    headerColumn->addLayout(chipRow);
    column->addWidget(header);

    // The "Change" popover: the palette and "Cancel".
    popover_ = new QFrame(this, Qt::Popup);
    popover_->setObjectName("ChangePopover");
    popover_->setFrameShape(QFrame::StyledPanel);
    auto* popoverRow = new QHBoxLayout(popover_);
    for (std::size_t i = 0; i < availableColors_.size(); ++i) {
        auto* swatch = new QToolButton(popover_);
        swatch->setObjectName(QString::fromStdString("to" + HighlightColor::defaults()[i].name));
        swatch->setIcon(chipIcon(availableColors_[i], false, 20));
        swatch->setIconSize(QSize(20, 20));
        swatch->setAutoRaise(true);
        swatch->setToolTip(QString::fromStdString(HighlightColor::defaults()[i].name));
        const Color colour = availableColors_[i];
        connect(swatch, &QToolButton::clicked, this, [this, colour] {
            popover_->hide();
            applyBulkColour(colour);
        });
        popoverRow->addWidget(swatch);
    }
    auto* cancel = new QPushButton(tr("Cancel"), popover_);
    connect(cancel, &QPushButton::clicked, popover_, &QWidget::hide);
    popoverRow->addWidget(cancel);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setForegroundRole(QPalette::Mid);
    column->addWidget(divider);

    stack_ = new QStackedWidget(this);
    empty_ = new QWidget(stack_);
    empty_->setObjectName("emptyState");
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->addStretch(1);
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    auto* emptyIcon = new QLabel(empty_);
    emptyIcon->setPixmap(SymbolIcon::tinted("highlighter", secondary, 36, devicePixelRatioF()));
    emptyIcon->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyIcon);
    auto* emptyText = new QLabel(tr("No highlights yet"), empty_);
    emptyText->setForegroundRole(QPalette::PlaceholderText);
    emptyText->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyText);
    emptyColumn->addStretch(1);
    stack_->addWidget(empty_);

    auto* scroll = new QScrollArea(stack_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_ = new QWidget(scroll);
    list_->setObjectName("highlightList");
    listLayout_ = new QVBoxLayout(list_);
    listLayout_->setContentsMargins(8, 8, 8, 8);
    listLayout_->setSpacing(8);
    listLayout_->addStretch(1);
    scroll->setWidget(list_);
    stack_->addWidget(scroll);
    column->addWidget(stack_, 1);

    observations_.push_back(services_.manager->extractedHighlights.observe(
        [this](const std::vector<ExtractedHighlight>&) { rebuildRows(); }));
    observations_.push_back(actions_->extractingID.observe(
        [this](const std::optional<std::string>&) { refreshBusy(); }));
    rebuildRows();
}

HighlightSidebar::~HighlightSidebar() {
    observations_.clear();
    sessionObservations_.clear();
    if (mathWindow_) {
        mathWindow_->close();
    }
}

void HighlightSidebar::setSession(std::shared_ptr<TabSession> session) {
    if (session == session_) {
        return;
    }
    sessionObservations_.clear();
    session_ = std::move(session);
    selection_.clear();
    commentTargetID_.reset();
    if (session_) {
        // Annotations added, removed or changed elsewhere change the list.
        sessionObservations_.push_back(
            session_->annotations.observe([this](const std::vector<AnnotationRecord>&) {
                if (isVisible()) {
                    refreshHighlights();
                }
            }));
    }
    refreshHighlights();
}

void HighlightSidebar::refreshHighlights() {
    if (session_ && session_->document) {
        services_.manager->refreshHighlights(*session_->document);
    } else {
        services_.manager->extractedHighlights = std::vector<ExtractedHighlight>{};
    }
}

void HighlightSidebar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshHighlights();
}

std::optional<ExtractedHighlight> HighlightSidebar::entry(const std::string& id) const {
    for (const auto& e : services_.manager->extractedHighlights.get()) {
        if (e.id == id) {
            return e;
        }
    }
    return std::nullopt;
}

HighlightRow* HighlightSidebar::row(const std::string& id) const {
    auto it = rows_.find(id);
    return it == rows_.end() ? nullptr : it->second;
}

std::vector<HighlightRow*> HighlightSidebar::rows() const {
    std::vector<HighlightRow*> ordered;
    for (int i = 0; i < listLayout_->count(); ++i) {
        if (auto* r = qobject_cast<HighlightRow*>(listLayout_->itemAt(i)->widget())) {
            ordered.push_back(r);
        }
    }
    return ordered;
}

void HighlightSidebar::rebuildRows() {
    const auto& entries = services_.manager->extractedHighlights.get();
    count_->setText(QString::number(entries.size()));
    stack_->setCurrentIndex(entries.empty() ? 0 : 1);
    selection_.keepOnly(entries);

    // Rows are kept by id, so a result's web view survives unrelated changes.
    std::map<std::string, HighlightRow*> kept;
    for (const auto& e : entries) {
        if (kept.contains(e.id)) {
            continue;
        }
        HighlightRow* r = row(e.id);
        if (r) {
            rows_.erase(e.id);
            r->setHighlight(e);
        } else {
            const std::string id = e.id;
            HighlightRow::Callbacks callbacks;
            callbacks.choose = [this, id] {
                if (auto h = entry(id)) {
                    selection_.toggle(id);
                    refreshSelection();
                    if (onSelectHighlight) {
                        onSelectHighlight(*h);
                    }
                }
            };
            callbacks.table = [this, id] { runTable(id); };
            callbacks.math = [this, id] { runMath(id); };
            callbacks.crop = [this, id] { runCrop(id); };
            callbacks.cancel = [this] { cancelMath(); };
            callbacks.viewMath = [this, id] { viewMath(id); };
            callbacks.copyResult = [this, id] { copyResult(id); };
            callbacks.remove = [this, id] { deleteHighlight(id); };
            callbacks.editComment = [this, id] { beginComment(id); };
            callbacks.saveComment = [this](const std::string& text) { saveComment(text); };
            callbacks.cancelComment = [this] { cancelComment(); };
            r = new HighlightRow(e, std::move(callbacks), list_);
        }
        kept[e.id] = r;
    }
    for (auto& [id, gone] : rows_) {
        gone->hide();
        gone->deleteLater();
    }
    rows_ = std::move(kept);
    // Lay the rows out in list order, the stretch last.
    while (listLayout_->count() > 0) {
        delete listLayout_->takeAt(0);
    }
    std::vector<std::string> seen;
    for (const auto& e : entries) {
        if (std::find(seen.begin(), seen.end(), e.id) != seen.end()) {
            continue;
        }
        seen.push_back(e.id);
        listLayout_->addWidget(rows_[e.id]);
    }
    listLayout_->addStretch(1);
    if (commentTargetID_ && !rows_.contains(*commentTargetID_)) {
        commentTargetID_.reset();
    }
    for (auto& [id, r] : rows_) {
        r->setEditing(commentTargetID_ == id, QString::fromStdString(commentText_));
    }
    refreshSelection();
    refreshBusy();
    // Starting the web engine takes a while on the GUI thread: do it once there are rows
    // to show, not when the first table result arrives.
    if (isVisible() && !entries.empty()) {
        QTimer::singleShot(0, this, [] {
            if (WebViewFactory* web = WebViews::factory()) {
                web->warmUp();
            }
        });
    }
}

void HighlightSidebar::refreshSelection() {
    const auto& bulk = selection_.selectedBulkColor();
    for (std::size_t i = 0; i < chips_.size(); ++i) {
        const bool chosen = bulk && HighlightSelection::sameColour(*bulk, availableColors_[i]);
        chips_[i]->setIcon(chipIcon(availableColors_[i], chosen, 18));
        chips_[i]->setChecked(chosen);
    }
    for (auto& [id, r] : rows_) {
        r->setSelected(selection_.isSelected(id));
    }
    change_->setEnabled(!selection_.selectedIDs().empty());
    change_->setText(selection_.selectedIDs().empty()
                         ? tr("Change")
                         : tr("Change (%1)").arg(selection_.selectedIDs().size()));
}

void HighlightSidebar::refreshBusy() {
    const auto& running = actions_->extractingID.get();
    for (auto& [id, r] : rows_) {
        const bool busy = running == id;
        r->setBusy(busy, running && !busy, busy && cancellableMath_);
    }
}

void HighlightSidebar::selectByColour(const Color& colour) {
    selection_.selectByColour(colour, services_.manager->extractedHighlights.get());
    refreshSelection();
}

void HighlightSidebar::selectAll() {
    selection_.selectAll(services_.manager->extractedHighlights.get());
    refreshSelection();
}

void HighlightSidebar::showChangePopover() {
    if (selection_.selectedIDs().empty()) {
        return;
    }
    popover_->adjustSize();
    popover_->move(
        change_->mapToGlobal(QPoint(change_->width() - popover_->width(), change_->height())));
    popover_->show();
}

void HighlightSidebar::applyBulkColour(const Color& colour) {
    if (!session_) {
        return;
    }
    std::vector<std::shared_ptr<pdfkit::Annotation>> chosen;
    for (const auto& e : services_.manager->extractedHighlights.get()) {
        if (selection_.isSelected(e.id) && e.annotation) {
            chosen.push_back(e.annotation);
        }
    }
    // One step for the whole change; the list follows it through the tab's records.
    services_.markup->recolour(session_, chosen, colour);
    redrawPage();
    refreshSelection();
}

void HighlightSidebar::beginComment(const std::string& id) {
    auto h = entry(id);
    if (!h) {
        return;
    }
    commentTargetID_ = id;
    commentText_ = h->comment.value_or("");
    for (auto& [rowID, r] : rows_) {
        r->setEditing(rowID == id, QString::fromStdString(commentText_));
    }
}

void HighlightSidebar::saveComment(const std::string& text) {
    if (!commentTargetID_ || !session_) {
        return;
    }
    auto h = entry(*commentTargetID_);
    commentTargetID_.reset();
    commentText_.clear();
    if (!h) {
        rebuildRows();
        return;
    }
    if (!h->annotation || !services_.markup->setText(session_, h->annotation, text)) {
        rebuildRows();
    }
}

void HighlightSidebar::cancelComment() {
    commentTargetID_.reset();
    commentText_.clear();
    for (auto& [id, r] : rows_) {
        r->setEditing(false);
    }
}

void HighlightSidebar::runTable(const std::string& id) {
    if (auto h = entry(id); h && session_) {
        actions_->startTable(*h, session_);
    }
}

void HighlightSidebar::runMath(const std::string& id) {
    if (auto h = entry(id); h && session_) {
        cancellableMath_ = true;
        actions_->extractFormula(*h, session_);
        if (!actions_->extractingID.get()) {
            cancellableMath_ = false;
        }
        refreshBusy();
    }
}

void HighlightSidebar::runCrop(const std::string& id) {
    if (auto h = entry(id); h && session_) {
        cancellableMath_ = false;
        actions_->startCrop(*h, session_);
    }
}

void HighlightSidebar::setFormulaSource(FormulaSource source) {
    actions_->setFormulaSource(source);
    const int index = formulaSource_->findData(
        int(source == FormulaSource::server ? FormulaSource::server : FormulaSource::automatic));
    if (index >= 0 && index != formulaSource_->currentIndex()) {
        formulaSource_->setCurrentIndex(index);
    }
}

void HighlightSidebar::cancelMath() {
    actions_->cancelFormula();
}

void HighlightSidebar::viewMath(const std::string& id) {
    auto h = entry(id);
    if (!h || !h->resultData) {
        return;
    }
    if (mathWindow_) {
        mathWindow_->close();
    }
    const auto mathml = actions_->mathMLOf(*h, session_);
    mathWindow_ = new MathViewWindow(*h->resultData, mathml, services_.userInteraction);
    mathWindow_->present(window());
}

void HighlightSidebar::copyResult(const std::string& id) {
    if (auto h = entry(id); h && h->resultData) {
        // A table goes as tab-separated text beside its HTML, so a plain paste reads as cells;
        // the HTML only as our table writer writes it, since the result came from a file.
        if (HighlightRow::isHTMLResult(*h->resultData)) {
            const std::string html = table::sanitizeHTML(*h->resultData);
            services_.userInteraction->copyToClipboard(table::tabSeparatedFromHTML(html), html);
        } else {
            services_.userInteraction->copyToClipboard(*h->resultData);
        }
    }
}

void HighlightSidebar::deleteHighlight(const std::string& id) {
    if (auto h = entry(id); h && session_ && h->annotation) {
        services_.markup->remove(session_, {h->annotation});
        redrawPage();
    }
}

void HighlightSidebar::redrawPage() {
    if (services_.views && services_.views->canvas) {
        services_.views->canvas->setNeedsDisplay();
    }
}

} // namespace ombrix::ui
