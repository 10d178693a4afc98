#include "tabs/TabManager.h"

#include <algorithm>

namespace ombrix {

std::shared_ptr<TabSession> TabManager::activeTab() const {
    const auto& active = activeTabID.get();
    if (!active) {
        return nullptr;
    }
    for (const auto& tab : tabs.get()) {
        if (tab->id == *active) {
            return tab;
        }
    }
    return nullptr;
}

std::shared_ptr<TabSession> TabManager::openDocument(std::shared_ptr<PDFDocument> document) {
    auto tab = std::make_shared<TabSession>(std::move(document));
    if (loader_) {
        tab->annotations = loader_(*tab->document);
    }
    tabs.mutate([&](auto& list) { list.push_back(tab); });
    activeTabID = tab->id;
    return tab;
}

void TabManager::closeTab(const TabSession& tab) {
    // `tab` may be the last owner's object: copy what we need before removing it.
    const Uuid closedID = tab.id;
    const std::shared_ptr<PDFDocument> document = tab.document;

    bool removed = false;
    tabs.mutate([&](auto& list) {
        auto end = std::remove_if(list.begin(), list.end(),
                                  [&](const auto& t) { return t->id == closedID; });
        removed = end != list.end();
        list.erase(end, list.end());
    });

    if (activeTabID.get() == closedID) {
        const auto& remaining = tabs.get();
        if (remaining.empty()) {
            activeTabID = std::nullopt;
        } else {
            activeTabID = remaining.back()->id;
        }
    }

    if (!removed || !closed_) {
        return;
    }
    const auto& remaining = tabs.get();
    const bool stillHeld = std::any_of(remaining.begin(), remaining.end(),
                                       [&](const auto& t) { return t->document == document; });
    if (!stillHeld) {
        closed_(*document);
    }
}

void TabManager::activate(const TabSession& tab) {
    if (activeTabID.get() != tab.id) {
        activeTabID = tab.id;
    }
}

} // namespace ombrix
