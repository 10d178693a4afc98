#include "ui/sidebar/CommentSidebar.h"

#include "annotations/AnnotationType.h"
#include "tabs/TabSession.h"
#include "ui/sidebar/HighlightRow.h"

#include <QTextDocument>

namespace ombrix::ui {

namespace {

QString headline(const AnnotationRecord& record) {
    const std::string content = record.content.value_or("");
    QString text = QString::fromStdString(content).simplified();
    if (text.isEmpty()) {
        return QString::fromStdString(annotationSubtype(record.type));
    }
    // A table result is markup, not something to read in one line.
    if (HighlightRow::isHTMLResult(content)) {
        return QObject::tr("%1 with a table")
            .arg(QString::fromStdString(annotationSubtype(record.type)));
    }
    constexpr int kLongest = 120;
    return text.size() > kLongest ? text.left(kLongest - 1) + QChar(0x2026) : text;
}

} // namespace

CommentSidebar::CommentSidebar(QWidget* parent) : QListWidget(parent) {
    setObjectName("CommentSidebar");
    setMinimumWidth(kWidth);
    setWordWrap(true);
    setTextElideMode(Qt::ElideRight);
    setFrameShape(QFrame::NoFrame);
}

CommentSidebar::~CommentSidebar() {
    observations_.clear();
}

void CommentSidebar::setSession(std::shared_ptr<TabSession> session) {
    observations_.clear();
    session_ = std::move(session);
    if (session_) {
        observations_.push_back(session_->annotations.observe(
            [this](const std::vector<AnnotationRecord>&) { refresh(); }));
    }
    refresh();
}

void CommentSidebar::refresh() {
    clear();
    if (!session_) {
        return;
    }
    for (const auto& record : session_->annotations.get()) {
        auto* item =
            new QListWidgetItem(headline(record) + "\n" + tr("Page %1").arg(record.pageIndex + 1));
        // A tool tip reads markup as rich text; the annotation's text is shown as text.
        item->setToolTip(Qt::convertFromPlainText(
            QString::fromStdString(record.content.value_or("")).left(400)));
        addItem(item);
    }
}

} // namespace ombrix::ui
