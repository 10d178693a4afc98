#include "pdfkit/Selection.h"

namespace ombrix::pdfkit {

std::vector<std::shared_ptr<Page>> Selection::pages() const {
    std::vector<std::shared_ptr<Page>> pages;
    for (const PagePart& part : parts_) {
        bool seen = false;
        for (const auto& p : pages) {
            seen = seen || p == part.page;
        }
        if (!seen) {
            pages.push_back(part.page);
        }
    }
    return pages;
}

Rect Selection::bounds(const Page& page) const {
    Rect united;
    bool any = false;
    for (const Rect& r : lineRects(page)) {
        united = any ? united.united(r) : r;
        any = true;
    }
    return united;
}

std::vector<Rect> Selection::lineRects(const Page& page) const {
    std::vector<Rect> rects;
    for (const PagePart& part : parts_) {
        if (part.page.get() == &page) {
            rects.insert(rects.end(), part.lineRects.begin(), part.lineRects.end());
        }
    }
    return rects;
}

} // namespace ombrix::pdfkit
