#include "ui/view/ViewPortNotifier.h"

#include "core/Signal.h"

namespace ombrix::ui {

struct ViewPortNotifier::Observers {
    Signal<> page;
    Signal<> selection;
};

ViewPortNotifier::ViewPortNotifier() : observers_(std::make_unique<Observers>()) {}

ViewPortNotifier::~ViewPortNotifier() = default;

Cancellable ViewPortNotifier::onPageChanged(std::function<void()> observer) {
    return observers_->page.connect([observer = std::move(observer)] { observer(); });
}

Cancellable ViewPortNotifier::onSelectionChanged(std::function<void()> observer) {
    return observers_->selection.connect([observer = std::move(observer)] { observer(); });
}

void ViewPortNotifier::pageChanged() const {
    observers_->page.emit();
}

void ViewPortNotifier::selectionChanged() const {
    observers_->selection.emit();
}

} // namespace ombrix::ui
