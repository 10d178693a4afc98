#include "ui/window/ContentsPanel.h"

#include "app/AppContainer.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/ViewPort.h"
#include "tabs/TabSession.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTextDocument>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

namespace ombrix::ui {

namespace {
constexpr int kDestinationRole = Qt::UserRole + 1;

QLabel* secondary(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}
} // namespace

ContentsPanel::ContentsPanel(AppContainer& container, QWidget* parent)
    : QWidget(parent), container_(container) {
    setObjectName("ContentsPanel");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* title = new QLabel(tr("Contents"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    title->setContentsMargins(12, 10, 12, 6);
    column->addWidget(title);

    body_ = new QStackedWidget(this);
    body_->addWidget(secondary(tr("Reading the contents…"), body_));
    tree_ = new QTreeWidget(body_);
    tree_->setObjectName("contentsTree");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(2); // the entry, and its page number at the right
    tree_->setStyleSheet("QTreeView::item { padding: 3px 0; }");
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setUniformRowHeights(true);
    tree_->setTextElideMode(Qt::ElideRight);
    tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(tree_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { choose(item); });
    connect(tree_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { choose(item); });
    body_->addWidget(tree_);
    body_->addWidget(secondary(tr("This document has no contents."), body_));
    column->addWidget(body_, 1);
}

void ContentsPanel::setSession(std::shared_ptr<TabSession> session) {
    if (session == session_) {
        return;
    }
    session_ = std::move(session);
    ++generation_;
    loaded_ = false;
    tree_->clear();
    destinations_.clear();
    auto engine = session_ ? PDFKitBridge::engineDocument(*session_->document) : nullptr;
    if (!engine) {
        body_->setCurrentIndex(2);
        return;
    }
    body_->setCurrentIndex(0);
    // A long manual's outline takes a while to read: not on the GUI thread.
    QPointer<ContentsPanel> self(this);
    const int generation = generation_;
    QThreadPool::globalInstance()->start([self, engine, generation] {
        auto outline = std::make_shared<std::vector<pdfkit::OutlineItem>>(engine->outline());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, outline, generation] {
                if (self && self->generation_ == generation) {
                    self->show(*outline);
                }
            },
            Qt::QueuedConnection);
    });
}

void ContentsPanel::show(const std::vector<pdfkit::OutlineItem>& outline) {
    loaded_ = true;
    std::function<void(const std::vector<pdfkit::OutlineItem>&, QTreeWidgetItem*)> add =
        [&](const std::vector<pdfkit::OutlineItem>& items, QTreeWidgetItem* parent) {
            for (const auto& entry : items) {
                auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
                const QString title = QString::fromStdString(entry.title).simplified();
                item->setText(0, title);
                // Tool tips read markup as rich text; the file's titles are text.
                item->setToolTip(0, Qt::convertFromPlainText(title));
                if (entry.destination && entry.destination->page >= 0) {
                    item->setText(1, QString::number(entry.destination->page + 1));
                    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
                    item->setForeground(1, palette().brush(QPalette::PlaceholderText));
                    item->setData(0, kDestinationRole, int(destinations_.size()));
                    destinations_.push_back(*entry.destination);
                } else {
                    if (!entry.uri.empty()) {
                        item->setToolTip(
                            0, Qt::convertFromPlainText(QString::fromStdString(entry.uri)));
                    }
                    item->setData(0, kDestinationRole, -1);
                }
                add(entry.children, item);
            }
        };
    add(outline, nullptr);
    // The top level open, deeper levels folded, as a table of contents reads.
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        tree_->topLevelItem(i)->setExpanded(tree_->topLevelItemCount() < 12);
    }
    body_->setCurrentIndex(outline.empty() ? 2 : 1);
}

void ContentsPanel::choose(QTreeWidgetItem* item) {
    if (!item || !session_) {
        return;
    }
    const int index = item->data(0, kDestinationRole).toInt();
    if (index < 0 || index >= int(destinations_.size())) {
        return;
    }
    const pdfkit::Destination destination = destinations_[std::size_t(index)];
    auto engine = PDFKitBridge::engineDocument(*session_->document);
    auto page = engine ? engine->page(destination.page) : nullptr;
    if (!page) {
        return;
    }
    session_->currentPage = destination.page;
    if (auto view = container_.activePDFView(); view && destination.point) {
        view->goToDestination(page, *destination.point);
    }
}

} // namespace ombrix::ui
