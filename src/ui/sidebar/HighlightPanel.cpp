#include "ui/sidebar/HighlightPanel.h"

#include "app/AppContainer.h"
#include "extraction/BacklinkHighlightManager.h"
#include "tabs/TabSession.h"
#include "ui/sidebar/CommentSidebar.h"
#include "ui/sidebar/HighlightSidebar.h"

namespace ombrix::ui {

HighlightPanel::HighlightPanel(AppContainer& container, QWidget* parent)
    : QTabWidget(parent), manager_(std::make_shared<BacklinkHighlightManager>()) {
    setObjectName("HighlightPanel");
    setDocumentMode(true);
    HighlightSidebar::Services services;
    services.manager = manager_;
    services.userInteraction = container.userInteraction();
    services.views = container.activeViews();
    services.markup = container.markupController();
    services.formulaSourceChosen = [&container](FormulaSource source) {
        container.settings().formulaSource = source;
        container.saveSettings();
    };
    sidebar_ = new HighlightSidebar(std::move(services), this);
    sidebar_->setFormulaSource(container.settings().formulaSource);
    sidebar_->onSelectHighlight = [this](const ExtractedHighlight& highlight) {
        if (session_ && session_->currentPage() != highlight.pageNumber - 1) {
            session_->currentPage = highlight.pageNumber - 1;
        }
    };
    addTab(sidebar_, tr("Highlights"));
    comments_ = new CommentSidebar(this);
    addTab(comments_, tr("Comments"));
}

void HighlightPanel::setSession(std::shared_ptr<TabSession> session) {
    session_ = session;
    sidebar_->setSession(session);
    comments_->setSession(std::move(session));
}

} // namespace ombrix::ui
