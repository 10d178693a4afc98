#pragma once

#include "core/Cancellable.h"

#include <QWidget>

class QLabel;

namespace ombrix {
class VimEngine;
}

namespace ombrix::ui {

// The modal keyboard engine's prompt: ":" and the command line typed so far (a search
// prompt's text starts with "/"), in a monospaced font over a separator line. Shown only
// while a prompt is open. GUI thread only.
class VimCommandBarView : public QWidget {
    Q_OBJECT
public:
    explicit VimCommandBarView(QWidget* parent = nullptr);

    // The engine to mirror; null hides the bar.
    void setEngine(VimEngine* engine);

    QLabel* promptLabel() const { return prompt_; }
    QLabel* textLabel() const { return text_; }

private:
    void refresh();

    VimEngine* engine_ = nullptr;
    QLabel* prompt_ = nullptr;
    QLabel* text_ = nullptr;
    Cancellable activeObservation_;
    Cancellable textObservation_;
};

} // namespace ombrix::ui
