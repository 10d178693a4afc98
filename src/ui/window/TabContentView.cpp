#include "ui/window/TabContentView.h"

#include "app/AppContainer.h"
#include "keyboard/VimEngine.h"
#include "search/LayoutEngine.h"
#include "tabs/TabSession.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/canvas/PDFKitViewRepresentable.h"
#include "ui/sidebar/HighlightPanel.h"
#include "ui/window/ContentsPanel.h"
#include "ui/window/KeyTranslation.h"
#include "ui/window/PDFBottomBar.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/VimCommandBarView.h"
#include "ui/window/WindowState.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <optional>

namespace ombrix::ui {

namespace {
constexpr int kSideMin = 250;
constexpr int kSideIdeal = 280;
constexpr int kSideMax = 350;

// The side panels' width: 280 when there is room, between 250 and 350.
class SidePanelStack : public QStackedWidget {
public:
    using QStackedWidget::QStackedWidget;
    QSize sizeHint() const override { return {kSideIdeal, QStackedWidget::sizeHint().height()}; }
};
} // namespace

TabContentView::TabContentView(AppContainer& container, WindowState& state, QWidget* parent)
    : QWidget(parent), container_(container), state_(state) {
    setObjectName("TabContentView");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* viewer = new QWidget(this);
    viewer->setObjectName("PDFViewerView");
    viewer->setMinimumWidth(400);
    auto* column = new QVBoxLayout(viewer);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // One canvas for every tab: a tab switch hands it the other document. The wrapper
    // puts the markup overlay, the palette and the popover over it.
    wrapper_ = new PDFCanvasWrapper(container_, viewer);
    wrapper_->onPageChange = [this](int index) {
        if (session_ && session_->currentPage() != index) {
            session_->currentPage = index;
        }
    };
    // The view fits a new document and zooms with Ctrl+wheel; the tab follows it.
    wrapper_->description().onScaleChange = [this](double scale) {
        if (session_) {
            wrapper_->description().zoom = scale;
            wrapper_->storeDescription();
            session_->zoom = scale;
        }
    };
    wrapper_->storeDescription();
    canvas_ = wrapper_->canvas();
    canvas_->setObjectName("pageArea");
    canvas_->pdfView()->setUserInteraction(container_.userInteraction().get());
    canvas_->pdfView()->installEventFilter(this);
    column->addWidget(wrapper_, 1);
    commandBar_ = new VimCommandBarView(viewer);
    column->addWidget(commandBar_);
    bottomBar_ = new PDFBottomBar(container_, state_, viewer);
    column->addWidget(bottomBar_);
    row->addWidget(viewer, 1);

    sideArea_ = new SidePanelStack(this);
    sideArea_->setMinimumWidth(kSideMin);
    sideArea_->setMaximumWidth(kSideMax);
    sideArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    searchPanel_ = new SearchPanel(container_, state_, sideArea_);
    sideArea_->addWidget(searchPanel_);
    highlightPanel_ = new HighlightPanel(container_, sideArea_);
    sideArea_->addWidget(highlightPanel_);
    contentsPanel_ = new ContentsPanel(container_, sideArea_);
    sideArea_->addWidget(contentsPanel_);
    row->addWidget(sideArea_);

    for (auto* flag : {&state_.showSearch, &state_.showSidebar, &state_.showContents}) {
        stateObservations_.push_back(flag->observe([this](bool) { refreshSideArea(); }));
    }
    for (auto* flag : {&state_.isTextMode, &state_.isShapeMode}) {
        stateObservations_.push_back(flag->observe([this](bool) { updateCanvas(); }));
    }
    refreshSideArea();
}

TabContentView::~TabContentView() {
    // The command bar watches the engine: let go of it before the engine goes.
    commandBar_->setEngine(nullptr);
    sessionObservations_.clear();
    stateObservations_.clear();
    // The canvas reports to the coordinator and to closures over this view while it goes.
    canvas_->pdfView()->removeEventFilter(this);
    wrapper_->onPageChange = nullptr;
    wrapper_->description().onScaleChange = nullptr;
    delete wrapper_;
}

QWidget* TabContentView::highlightPanel() const {
    return highlightPanel_;
}

QWidget* TabContentView::pageArea() const {
    return canvas_->pdfView();
}

void TabContentView::setSession(std::shared_ptr<TabSession> session) {
    if (session == session_) {
        return;
    }
    sessionObservations_.clear();
    commandBar_->setEngine(nullptr);
    vim_.reset();
    session_ = std::move(session);
    wrapper_->setSession(session_);
    bottomBar_->setSession(session_);
    searchPanel_->setSession(session_);
    highlightPanel_->setSession(session_);
    contentsPanel_->setSession(session_);
    if (session_) {
        vim_ = std::make_unique<VimEngine>(session_, container_.activePDFView(),
                                           container_.userInteraction(), container_.logging());
        commandBar_->setEngine(vim_.get());
        sessionObservations_.push_back(session_->zoom.observe([this](double) { updateCanvas(); }));
        sessionObservations_.push_back(session_->currentPage.observe([this](int index) {
            // Commands that move the tab (menus, keys, search rows) move the view too.
            auto view = canvas_->pdfView();
            auto document = view->document();
            auto current = view->currentPage();
            if (document && (!current || document->indexOf(*current) != index)) {
                if (auto page = document->page(index)) {
                    view->goToPage(page);
                }
            }
        }));
    }
    updateCanvas();
    if (session_) {
        // One canvas for every tab: it takes each tab's own layout.
        if (auto view = container_.activePDFView()) {
            container_.layoutEngine()->apply(session_->layout(), *view);
        }
        const int page = session_->currentPage();
        if (auto document = canvas_->pdfView()->document(); document && page > 0) {
            if (auto target = document->page(page)) {
                canvas_->pdfView()->goToPage(target);
            }
        }
    }
}

void TabContentView::updateCanvas() {
    auto& description = wrapper_->description();
    description.document = session_ ? session_->document : nullptr;
    description.currentPage = session_ ? session_->currentPage() : 0;
    description.zoom = session_ ? session_->zoom() : 1.0;
    description.isTextMode = state_.isTextMode();
    description.isShapeMode = state_.isShapeMode();
    wrapper_->updateView();
}

void TabContentView::refreshSideArea() {
    if (state_.showSearch()) {
        sideArea_->setCurrentWidget(searchPanel_);
        sideArea_->show();
    } else if (state_.showContents()) {
        sideArea_->setCurrentWidget(contentsPanel_);
        sideArea_->show();
    } else if (state_.showSidebar()) {
        sideArea_->setCurrentWidget(highlightPanel_);
        sideArea_->show();
    } else {
        sideArea_->hide();
    }
}

bool TabContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == canvas_->pdfView() && event->type() == QEvent::KeyPress && vim_) {
        const KeyEvent key = translateKeyEvent(*static_cast<QKeyEvent*>(event));
        // The engine only logs a "/" prompt's query; running it is ours.
        std::optional<std::string> query;
        if (vim_->isCommandModeActive() && key.keyCode == KeyCode::returnKey &&
            vim_->commandLineText().rfind("/", 0) == 0) {
            query = vim_->commandLineText().substr(1);
        }
        const bool consumed = vim_->handleKeyDown(key);
        if (query && !query->empty() && onSearchPrompt_) {
            onSearchPrompt_(*query);
        }
        return consumed;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ombrix::ui
