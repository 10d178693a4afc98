#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Signal.h"
#include "tabs/TabSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ombrix {

// The ordered tabs and the active one. Main thread only.
class TabManager {
public:
    // Reads a newly opened document's annotations into its tab; the container wires it
    // to the annotation service, so creating the manager does not create that service.
    using AnnotationLoader = std::function<std::vector<AnnotationRecord>(const PDFDocument&)>;
    // Told when a tab closes and no other tab holds its document (to drop cached renders).
    using DocumentClosed = std::function<void(const PDFDocument&)>;

    TabManager() = default;

    Observable<std::vector<std::shared_ptr<TabSession>>> tabs;
    Observable<std::optional<Uuid>> activeTabID;

    std::shared_ptr<TabSession> activeTab() const;

    std::shared_ptr<TabSession> openDocument(std::shared_ptr<PDFDocument> document);
    void closeTab(const TabSession& tab);
    void activate(const TabSession& tab);

    void setAnnotationLoader(AnnotationLoader loader) { loader_ = std::move(loader); }
    void setDocumentClosedHandler(DocumentClosed handler) { closed_ = std::move(handler); }

private:
    AnnotationLoader loader_;
    DocumentClosed closed_;
};

} // namespace ombrix

OMBRIX_API_END
