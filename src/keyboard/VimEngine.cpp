#include "keyboard/VimEngine.h"

#include "core/UnicodeText.h"
#include "core/UserInteraction.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ViewPort.h"
#include "tabs/TabSession.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

namespace ombrix {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// Digits only, saturating at `limit` rather than overflowing.
std::int64_t digitValue(std::string_view digits, std::int64_t limit) {
    std::int64_t value = 0;
    for (char c : digits) {
        const int d = c - '0';
        if (value > (limit - d) / 10) {
            return limit;
        }
        value = value * 10 + d;
    }
    return value;
}

// An optional sign and at least one digit. A number too large for 64 bits saturates, so
// a huge page number still means "past the end" instead of being an unknown command.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!allDigits(text)) {
        return std::nullopt;
    }
    const std::int64_t magnitude = digitValue(text, std::numeric_limits<std::int64_t>::max());
    return negative ? -magnitude : magnitude;
}

std::string trimSpacesAndTabs(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Removes the last code point, not the last byte, so a prompt never holds half a
// character.
void removeLastCharacter(std::string& text) {
    if (text.empty()) {
        return;
    }
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    if ((static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        start = text.size() - 1; // a stray continuation byte goes on its own
    }
    text.erase(start);
}

// Control characters (Tab, Escape, Control-letter combinations) are keys, not text.
bool isPrintable(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

} // namespace

VimEngine::VimEngine(std::weak_ptr<TabSession> session, std::weak_ptr<pdfkit::ViewPort> pdfView,
                     std::shared_ptr<UserInteraction> user, Logging logging)
    : session_(std::move(session)), pdfView_(std::move(pdfView)), user_(std::move(user)),
      log_(std::move(logging)) {
    // A sequence begun in one mode means nothing in another.
    modeObservation_ = currentMode.observe([this](const VimMode&) { clearSequence(); });
}

bool VimEngine::handleKeyDown(const KeyEvent& event) {
    if (isCommandModeActive()) {
        return handlePromptKey(event);
    }
    // Escape is known by its code, whatever characters the host attached.
    if (event.keyCode == KeyCode::escape) {
        reset();
        return true;
    }
    const std::string& key = event.charactersIgnoringModifiers;
    if (key.empty()) {
        return false;
    }

    static constexpr Binding normalTable[] = {
        {"j", Action::scrollDown},        {"k", Action::scrollUp},
        {"h", Action::scrollLeft},        {"l", Action::scrollRight},
        {"gg", Action::firstPage},        {"G", Action::lastPage},
        {":", Action::openCommandPrompt}, {"/", Action::openSearchPrompt},
        {"n", Action::nothing},
    };
    static constexpr Binding visualTable[] = {
        {"j", Action::scrollDown},  {"k", Action::scrollUp},      {"h", Action::scrollLeft},
        {"l", Action::scrollRight}, {"y", Action::copySelection},
    };

    const Binding* table = nullptr;
    std::size_t size = 0;
    switch (currentMode()) {
    case VimMode::normal:
        table = normalTable;
        size = std::size(normalTable);
        break;
    case VimMode::visual:
        table = visualTable;
        size = std::size(visualTable);
        break;
    case VimMode::command:
    case VimMode::outline:
    case VimMode::hint:
        // No keys of their own: everything, digits included, goes to the host.
        return false;
    }

    if (pendingKeys_.empty() && allDigits(key)) {
        numberBuffer_ += key;
        return true;
    }
    pendingKeys_ += key;
    return dispatch(table, size);
}

bool VimEngine::dispatch(const Binding* table, std::size_t size) {
    const std::string_view keys = pendingKeys_;
    bool isPrefix = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::string_view entry = table[i].keys;
        if (entry == keys) {
            const std::int64_t n = count();
            clearSequence(); // before acting: the action may change the mode
            perform(table[i].action, n);
            return true;
        }
        if (entry.size() > keys.size() && entry.substr(0, keys.size()) == keys) {
            isPrefix = true;
        }
    }
    if (isPrefix) {
        return true;
    }
    clearSequence();
    return false;
}

void VimEngine::perform(Action action, std::int64_t n) {
    switch (action) {
    case Action::scrollDown:
        scroll(ScrollDirection::down, n);
        break;
    case Action::scrollUp:
        scroll(ScrollDirection::up, n);
        break;
    case Action::scrollLeft:
        scroll(ScrollDirection::left, n);
        break;
    case Action::scrollRight:
        scroll(ScrollDirection::right, n);
        break;
    case Action::firstPage:
        goToPage(0);
        break;
    case Action::lastPage:
        goToPage(std::numeric_limits<std::int64_t>::max());
        break;
    case Action::openCommandPrompt:
        isCommandModeActive = true;
        currentMode = VimMode::command;
        commandLineText = std::string();
        break;
    case Action::openSearchPrompt:
        currentMode = VimMode::command;
        isCommandModeActive = true;
        commandLineText = std::string("/");
        break;
    case Action::nothing:
        break;
    case Action::copySelection:
        copySelection();
        reset();
        break;
    }
}

std::int64_t VimEngine::count() const {
    // No count, or a count of zero, means once.
    const std::int64_t n = allDigits(numberBuffer_) ? digitValue(numberBuffer_, kMaxCount) : 0;
    return n > 0 ? n : 1;
}

bool VimEngine::handlePromptKey(const KeyEvent& event) {
    switch (event.keyCode) {
    case KeyCode::escape:
        reset();
        return true;
    case KeyCode::returnKey: {
        const std::string text = commandLineText();
        runCommand(text);
        reset();
        return true;
    }
    case KeyCode::deleteBackward:
        if (!commandLineText().empty()) {
            commandLineText.mutate(removeLastCharacter);
        }
        return true;
    case KeyCode::deleteForward:
        // Swallowed, so it cannot reach the view's delete while a command is typed.
        return true;
    default:
        break;
    }
    if (event.characters.empty()) {
        return false;
    }
    if (isPrintable(event.characters)) {
        commandLineText.mutate([&](std::string& text) { text += event.characters; });
    }
    return true;
}

void VimEngine::runCommand(const std::string& typed) {
    const std::string text = trimSpacesAndTabs(typed);
    if (text.empty()) {
        return;
    }
    if (text.front() == '/') {
        log_.info("Search for: " + text.substr(1));
        return;
    }
    if (auto n = parseInteger(text); n && *n > 0) {
        goToPage(*n - 1);
        return;
    }
    const std::string lower = lowercased(text);
    if (lower == "q" || lower == "w") {
        return;
    }
    log_.info("Unknown command: " + text);
}

void VimEngine::reset() {
    currentMode = VimMode::normal;
    isCommandModeActive = false;
    commandLineText = std::string();
    clearSequence();
}

void VimEngine::clearSequence() {
    numberBuffer_.clear();
    pendingKeys_.clear();
}

void VimEngine::scroll(ScrollDirection direction, std::int64_t n) {
    auto view = pdfView_.lock();
    if (!view) {
        return;
    }
    // The scroll origin runs y down, so moving down the document adds to y.
    Point origin = view->scrollOrigin();
    const double step = static_cast<double>(n) * kScrollStep;
    switch (direction) {
    case ScrollDirection::up:
        origin.y -= step;
        break;
    case ScrollDirection::down:
        origin.y += step;
        break;
    case ScrollDirection::left:
        origin.x -= step;
        break;
    case ScrollDirection::right:
        origin.x += step;
        break;
    }
    view->scrollTo(origin); // the view keeps it inside the content
}

void VimEngine::goToPage(std::int64_t index) {
    auto session = session_.lock();
    auto view = pdfView_.lock();
    if (!session || !view) {
        return;
    }
    auto document = view->document();
    if (!document) {
        return;
    }
    const std::int64_t last = static_cast<std::int64_t>(document->pageCount()) - 1;
    const int target = static_cast<int>(std::max<std::int64_t>(std::min(index, last), 0));
    auto page = document->page(target);
    if (!page) {
        return; // no pages
    }
    view->goToPage(page);
    session->currentPage = target;
}

void VimEngine::copySelection() {
    auto view = pdfView_.lock();
    if (!view || !user_) {
        return;
    }
    auto selection = view->currentSelection();
    if (!selection || !selection->string() || selection->string()->empty()) {
        return;
    }
    user_->copyToClipboard(*selection->string()); // replaces what was there
}

} // namespace ombrix
