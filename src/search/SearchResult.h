#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/AppEvent.h"
#include "core/Geometry.h"
#include "core/Uuid.h"

#include <string>
#include <vector>

namespace ombrix {

// One occurrence of a query on one page; bounds in page space.
struct SearchResult {
    Uuid id;
    int pageIndex = 0;
    std::string text;
    Rect bounds;

    SearchResult(int pageIndex, std::string text, Rect bounds)
        : id(Uuid::random()), pageIndex(pageIndex), text(std::move(text)), bounds(bounds) {}

    bool operator==(const SearchResult&) const = default;
};

struct SearchStartedEvent : AppEvent {
    SearchStartedEvent(Uuid documentID, std::string query, TimePoint timestamp)
        : documentID(documentID), query(std::move(query)), at(timestamp) {}
    Uuid documentID;
    std::string query;
    TimePoint at;
    TimePoint timestamp() const override { return at; }
};

struct SearchCompletedEvent : AppEvent {
    SearchCompletedEvent(Uuid documentID, std::vector<SearchResult> results, TimePoint timestamp)
        : documentID(documentID), results(std::move(results)), at(timestamp) {}
    Uuid documentID;
    std::vector<SearchResult> results;
    TimePoint at;
    TimePoint timestamp() const override { return at; }
};

} // namespace ombrix

OMBRIX_API_END
