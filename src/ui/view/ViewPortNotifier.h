#pragma once

#include "core/Cancellable.h"

#include <functional>
#include <memory>

namespace ombrix::ui {

// The ViewPort's page- and selection-changed observers for a Qt class. The core's Signal
// has a member named like Qt's `emit` keyword, so it lives behind this seam, in a file
// that includes no Qt header. GUI thread only.
class ViewPortNotifier {
public:
    ViewPortNotifier();
    ~ViewPortNotifier();
    ViewPortNotifier(const ViewPortNotifier&) = delete;
    ViewPortNotifier& operator=(const ViewPortNotifier&) = delete;

    [[nodiscard]] Cancellable onPageChanged(std::function<void()> observer);
    [[nodiscard]] Cancellable onSelectionChanged(std::function<void()> observer);
    void pageChanged() const;
    void selectionChanged() const;

private:
    struct Observers;
    std::unique_ptr<Observers> observers_;
};

} // namespace ombrix::ui
