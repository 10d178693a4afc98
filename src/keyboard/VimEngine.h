#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Cancellable.h"
#include "core/Logging.h"
#include "core/Signal.h"
#include "keyboard/KeyEvent.h"
#include "keyboard/VimMode.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ombrix {

class TabSession;
class UserInteraction;

namespace pdfkit {
class ViewPort;
} // namespace pdfkit

// Modal keyboard navigation for the PDF view. The host feeds it key-down events one at a
// time; it scrolls and pages the view, records page jumps in the tab, and publishes its
// mode and prompt so a command bar can show them. Tab and view are held weakly: once
// either is gone the keys still answer as before but act on nothing. Page jumps take
// their pages from the view's document; yanked text goes to the user's clipboard.
//
// Keys outside the prompt build a sequence: digits typed before any other key make the
// count, the other keys are matched against the mode's table. A sequence that is a
// table entry runs; one that begins an entry ("g" of "gg") waits for the next key; any
// other is dropped with its count and the key goes back to the host. No key times out.
//
// Main thread only.
class VimEngine {
public:
    static constexpr double kScrollStep = 100.0; // points per count
    // Counts beyond this scroll no further than it would.
    static constexpr std::int64_t kMaxCount = 1'000'000;

    VimEngine(std::weak_ptr<TabSession> session, std::weak_ptr<pdfkit::ViewPort> pdfView,
              std::shared_ptr<UserInteraction> user,
              Logging logging = Logging(Logging::kSubsystem, Logging::kCategory));
    VimEngine(const VimEngine&) = delete;
    VimEngine& operator=(const VimEngine&) = delete;

    // True when the engine consumed the event; false leaves it to the host.
    bool handleKeyDown(const KeyEvent& event);

    // Assigning the mode from outside (the host entering visual) drops any half-typed
    // sequence and count.
    Observable<VimMode> currentMode{VimMode::normal};
    Observable<std::string> commandLineText;
    // A prompt is open and receives every key.
    Observable<bool> isCommandModeActive{false};

    // What has been typed towards the next command, for a command bar to echo.
    const std::string& pendingCount() const { return numberBuffer_; }
    const std::string& pendingKeys() const { return pendingKeys_; }

private:
    enum class Action {
        scrollDown,
        scrollUp,
        scrollLeft,
        scrollRight,
        firstPage,
        lastPage,
        openCommandPrompt,
        openSearchPrompt,
        nothing,
        copySelection
    };
    struct Binding {
        const char* keys;
        Action action;
    };

    bool dispatch(const Binding* table, std::size_t size);
    void perform(Action action, std::int64_t count);
    bool handlePromptKey(const KeyEvent& event);
    void runCommand(const std::string& text);
    void reset();
    void clearSequence();
    void scroll(ScrollDirection direction, std::int64_t count);
    void goToPage(std::int64_t index);
    void copySelection();
    std::int64_t count() const;

    std::weak_ptr<TabSession> session_;
    std::weak_ptr<pdfkit::ViewPort> pdfView_;
    std::shared_ptr<UserInteraction> user_; // its clipboard
    Logging log_;
    std::string numberBuffer_;
    std::string pendingKeys_;
    Cancellable modeObservation_;
};

} // namespace ombrix

OMBRIX_API_END
