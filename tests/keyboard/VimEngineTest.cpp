#include "keyboard/VimEngine.h"

#include "core/LogSink.h"
#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/HeadlessViewPort.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tabs/TabSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace fx = ombrix::testing;

constexpr int kPages = 20;

class VimEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fx::TempDir();
        fx::writePdf(fx::textDocument(kPages), *dir_ / "long.pdf");
        fx::writePdf(fx::textDocument(1), *dir_ / "single.pdf");
        fx::writeZeroPagePdf(*dir_ / "empty.pdf");
    }
    static void TearDownTestSuite() { delete dir_; }

    void SetUp() override { open("long.pdf"); }

    void open(const std::string& name) {
        engine.reset();
        tab = std::make_shared<TabSession>(PDFKitBridge().open(*dir_ / name));
        view = std::make_shared<pdfkit::HeadlessViewPort>();
        view->setDocument(PDFKitBridge::engineDocument(*tab->document));
        engine = std::make_unique<VimEngine>(
            tab, view, user, Logging(Logging::kSubsystem, Logging::kCategory, sink));
    }

    bool press(const std::string& key, KeyModifiers modifiers = {}) {
        return engine->handleKeyDown(KeyEvent::typed(key, modifiers));
    }
    bool press(std::uint16_t code) { return engine->handleKeyDown(KeyEvent::special(code)); }
    std::vector<bool> type(const std::string& keys) { // one key per character
        std::vector<bool> answers;
        for (char c : keys) {
            answers.push_back(press(std::string(1, c)));
        }
        return answers;
    }
    void command(const std::string& text) {
        type(":" + text);
        EXPECT_TRUE(press(KeyCode::returnKey));
    }

    int viewPage() const {
        auto page = view->currentPage();
        return page ? *view->document()->indexOf(*page) : -1;
    }
    void showPage(int index) {
        view->goToPage(view->document()->page(index));
        tab->currentPage = index;
    }
    double scrollY() const { return view->scrollOrigin().y; }
    std::vector<std::string> logged() const { return sink->lines(LogLevel::info); }

    void expectResting() const {
        EXPECT_EQ(engine->currentMode(), VimMode::normal);
        EXPECT_FALSE(engine->isCommandModeActive());
        EXPECT_EQ(engine->commandLineText(), "");
        EXPECT_EQ(engine->pendingCount() + engine->pendingKeys(), "");
    }

    static inline fx::TempDir* dir_ = nullptr;
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    std::shared_ptr<HeadlessUserInteraction> user = std::make_shared<HeadlessUserInteraction>();
    std::shared_ptr<TabSession> tab;
    std::shared_ptr<pdfkit::HeadlessViewPort> view;
    std::unique_ptr<VimEngine> engine;
};

TEST_F(VimEngineTest, PageNumbersJumpOnReturnAndClampToTheLastPage) {
    EXPECT_THAT(type(":12"), ElementsAre(true, true, true));
    EXPECT_EQ(engine->currentMode(), VimMode::command);
    EXPECT_EQ(engine->commandLineText(), "12");
    EXPECT_EQ(viewPage(), 0); // nothing runs before Return
    EXPECT_TRUE(press(KeyCode::returnKey));
    EXPECT_EQ(viewPage(), 11);
    EXPECT_EQ(tab->currentPage(), 11);
    expectResting();

    command(" +3 ");
    EXPECT_EQ(tab->currentPage(), 2);
    for (const char* pastTheEnd : {"999", "99999999999999999999999999"}) {
        showPage(0);
        command(pastTheEnd);
        EXPECT_EQ(viewPage(), kPages - 1) << pastTheEnd;
        EXPECT_EQ(tab->currentPage(), kPages - 1) << pastTheEnd;
    }
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(VimEngineTest, EscapeClosesThePromptWithoutRunningIt) {
    type(":12");
    EXPECT_TRUE(press(KeyCode::escape));
    expectResting();
    EXPECT_EQ(tab->currentPage(), 0);
    EXPECT_TRUE(press(KeyCode::escape)); // no prompt: still consumed
    expectResting();
}

TEST_F(VimEngineTest, OtherCommandsAreLoggedAsUnknownExceptQuitAndWrite) {
    for (const char* text : {"0", "-4", "Foo", "12a", " Q ", "w", "W  ", "   "}) {
        command(text);
    }
    EXPECT_THAT(logged(), ElementsAre("Unknown command: 0", "Unknown command: -4",
                                      "Unknown command: Foo", "Unknown command: 12a"));
    EXPECT_EQ(viewPage(), 0);
    EXPECT_EQ(user->terminationRequests(), 0u);
    expectResting();
}

TEST_F(VimEngineTest, ThePromptEditsWholeCharactersAndSwallowsEveryKey) {
    type(":x");
    EXPECT_TRUE(press(KeyCode::deleteBackward));
    EXPECT_TRUE(press(KeyCode::deleteBackward)); // already empty
    EXPECT_TRUE(engine->isCommandModeActive());

    press("\xC3\xA9");         // é
    press("\xF0\x9F\x93\x84"); // four bytes
    press(KeyCode::deleteBackward);
    EXPECT_EQ(engine->commandLineText(), "\xC3\xA9");

    // Typed text is taken with modifiers applied; control characters are keys, not text.
    KeyEvent controlV = KeyEvent::typed("v", {.control = true});
    controlV.characters = "\x16";
    EXPECT_TRUE(engine->handleKeyDown(controlV));
    EXPECT_TRUE(press("\t"));
    EXPECT_TRUE(press(KeyCode::deleteForward));
    view->scrollTo({0, 500});
    EXPECT_THAT(type("Gj"), ElementsAre(true, true)); // text here, not commands
    EXPECT_EQ(engine->commandLineText(), "\xC3\xA9Gj");
    EXPECT_EQ(scrollY(), 500);
    EXPECT_FALSE(engine->handleKeyDown(KeyEvent::modifierOnly({.shift = true})));

    press(KeyCode::deleteBackward);
    press(KeyCode::deleteBackward);
    press(KeyCode::deleteBackward);
    EXPECT_TRUE(press(KeyCode::returnKey)); // empty: nothing
    EXPECT_THAT(logged(), IsEmpty());
    expectResting();
}

TEST_F(VimEngineTest, SlashLogsTheSearchAndItsPromptStaysOpenWithoutTheSlash) {
    EXPECT_TRUE(press("/"));
    EXPECT_EQ(engine->currentMode(), VimMode::command);
    EXPECT_EQ(engine->commandLineText(), "/");
    type("ab");
    press(KeyCode::returnKey);
    EXPECT_THAT(logged(), ElementsAre("Search for: ab"));
    expectResting();

    press("/");
    press(KeyCode::deleteBackward);
    EXPECT_TRUE(engine->isCommandModeActive());
    type("3");
    press(KeyCode::returnKey);
    EXPECT_EQ(viewPage(), 2); // an ordinary command now
}

TEST_F(VimEngineTest, TheCommandBarSeesEveryChange) {
    std::vector<std::string> texts;
    std::vector<VimMode> modes;
    std::vector<bool> active;
    auto a = engine->commandLineText.observe([&](const std::string& t) { texts.push_back(t); });
    auto b = engine->currentMode.observe([&](const VimMode& m) { modes.push_back(m); });
    auto c = engine->isCommandModeActive.observe([&](const bool& on) { active.push_back(on); });
    type(":ab");
    press(KeyCode::deleteBackward);
    press(KeyCode::escape);
    EXPECT_THAT(texts, ElementsAre("", "a", "ab", "a", ""));
    EXPECT_THAT(modes, ElementsAre(VimMode::command, VimMode::normal));
    EXPECT_THAT(active, ElementsAre(true, false));
}

TEST_F(VimEngineTest, CapitalGGoesToTheLastPage) {
    EXPECT_TRUE(press("G", {.shift = true}));
    EXPECT_EQ(viewPage(), kPages - 1);
    EXPECT_EQ(tab->currentPage(), kPages - 1);

    open("single.pdf");
    tab->currentPage = 3; // stale; the jump corrects it
    EXPECT_TRUE(press("G"));
    EXPECT_EQ(viewPage(), 0);
    EXPECT_EQ(tab->currentPage(), 0);
}

TEST_F(VimEngineTest, PageJumpsWithoutPagesDoNothing) {
    tab->currentPage = 3;
    int notifications = 0;
    auto watch = tab->currentPage.observe([&](const int&) { ++notifications; });
    view->setDocument(nullptr);
    EXPECT_TRUE(press("G"));
    command("2");
    view->setDocument(pdfkit::Document::open(*dir_ / "empty.pdf"));
    ASSERT_NE(view->document(), nullptr);
    EXPECT_TRUE(press("G"));
    EXPECT_THAT(type("gg"), ElementsAre(true, true));
    EXPECT_EQ(notifications, 0);
    expectResting();
}

TEST_F(VimEngineTest, DoubleGWaitsForItsSecondKeyAndOtherSequencesAreDropped) {
    showPage(10);
    EXPECT_TRUE(press("g"));
    EXPECT_EQ(viewPage(), 10);
    EXPECT_TRUE(press("g"));
    EXPECT_EQ(viewPage(), 0);
    EXPECT_EQ(tab->currentPage(), 0);
    expectResting();

    // Nothing of "3gx" survives: the next j scrolls once.
    view->scrollTo({0, 500});
    EXPECT_THAT(type("3gx"), ElementsAre(true, true, false));
    expectResting();
    press("j");
    EXPECT_EQ(scrollY(), 600);
    EXPECT_THAT(type("g5"), ElementsAre(true, false)); // a digit after a letter is no count
    for (const char* key : {"x", "J", "\r", " "}) {
        EXPECT_FALSE(press(key)) << key;
        expectResting();
    }
    EXPECT_TRUE(press("n")); // claimed, does nothing
    EXPECT_EQ(scrollY(), 600);
}

TEST_F(VimEngineTest, ScrollKeysMoveThroughTheDocumentByHundredsOfPoints) {
    // The scroll origin runs y down: further down the document is a larger y.
    view->scrollTo({0, 500});
    EXPECT_TRUE(press("j"));
    EXPECT_EQ(scrollY(), 600);
    view->scrollTo({0, 500});
    EXPECT_TRUE(press("k"));
    EXPECT_EQ(scrollY(), 400);

    view->setScaleFactor(2); // pages wider than the view
    view->scrollTo({200, 500});
    EXPECT_TRUE(press("l"));
    EXPECT_EQ(view->scrollOrigin().x, 300);
    EXPECT_THAT(type("hh"), ElementsAre(true, true));
    EXPECT_EQ(view->scrollOrigin(), (Point{100, 500}));
}

TEST_F(VimEngineTest, ACountMultipliesTheNextScroll) {
    view->scrollTo({0, 500});
    EXPECT_THAT(type("3j"), ElementsAre(true, true));
    EXPECT_EQ(scrollY(), 800);
    EXPECT_THAT(type("12j"), ElementsAre(true, true, true));
    EXPECT_EQ(scrollY(), 2000);
    type("012k"); // a leading 0 is part of the count
    EXPECT_EQ(scrollY(), 800);
    type("j0j"); // used up by the k; a count of zero means once
    EXPECT_EQ(scrollY(), 1000);
    type("5");
    press(KeyCode::escape);
    press("j");
    EXPECT_EQ(scrollY(), 1100);

    // A modifier alone keeps the count; Control-j is still j.
    type("3");
    EXPECT_FALSE(engine->handleKeyDown(KeyEvent::modifierOnly({.control = true})));
    EXPECT_EQ(engine->pendingCount(), "3");
    KeyEvent controlJ = KeyEvent::typed("j", {.control = true});
    controlJ.characters = "\n";
    EXPECT_TRUE(engine->handleKeyDown(controlJ));
    EXPECT_EQ(scrollY(), 1400);

    view->scrollTo({0, 1e12});
    const double bottom = scrollY();
    view->scrollTo({0, 0});
    type("99999999999999999999999j");
    EXPECT_EQ(scrollY(), bottom);
}

TEST_F(VimEngineTest, VisualModeScrollsAndDropsUnknownKeysInsteadOfStickingOnThem) {
    engine->currentMode = VimMode::visual;
    view->scrollTo({0, 500});
    EXPECT_FALSE(press("x"));
    EXPECT_THAT(type("2j"), ElementsAre(true, true));
    EXPECT_EQ(scrollY(), 700);
    for (const char* normalOnly : {"G", "g", ":", "n"}) {
        EXPECT_FALSE(press(normalOnly)) << normalOnly;
    }
    EXPECT_EQ(viewPage(), 0);
    EXPECT_EQ(engine->currentMode(), VimMode::visual);
    EXPECT_TRUE(press(KeyCode::escape));
    expectResting();
}

TEST_F(VimEngineTest, YankCopiesTheSelectionIfAnyAndReturnsToNormal) {
    user->copyToClipboard("kept");
    engine->currentMode = VimMode::visual;
    EXPECT_TRUE(press("y"));
    EXPECT_EQ(user->clipboardText(), "kept");
    expectResting();
    EXPECT_FALSE(press("y")); // not a normal-mode key

    auto found = view->document()->find("alpha", true);
    ASSERT_FALSE(found.empty());
    ASSERT_TRUE(found.front().string());
    view->setCurrentSelection(found.front());
    engine->currentMode = VimMode::visual;
    EXPECT_TRUE(press("y"));
    EXPECT_EQ(user->clipboardText(), *found.front().string());
    EXPECT_EQ(user->clipboardHTML(), std::nullopt);
    expectResting();
}

TEST_F(VimEngineTest, ModesWithoutKeysLeaveThemToTheHostAndAssigningAModeDropsASequence) {
    showPage(10);
    press("g");
    engine->currentMode = VimMode::outline;
    EXPECT_FALSE(press("g"));
    EXPECT_FALSE(press("3"));
    engine->currentMode = VimMode::normal;
    EXPECT_TRUE(press("g")); // starts afresh instead of completing the first g
    EXPECT_EQ(viewPage(), 10);

    engine->currentMode = VimMode::hint;
    EXPECT_TRUE(press(KeyCode::escape));
    expectResting();
}

TEST_F(VimEngineTest, OnceTheTabOrViewIsGoneKeysActOnNothing) {
    std::weak_ptr<pdfkit::HeadlessViewPort> watched = view;
    tab.reset();
    EXPECT_TRUE(press("G")); // a page jump needs the tab too
    EXPECT_EQ(viewPage(), 0);
    view.reset();
    ASSERT_TRUE(watched.expired());
    EXPECT_TRUE(press("j"));
    engine->currentMode = VimMode::visual;
    EXPECT_TRUE(press("y"));
    expectResting();
}

} // namespace
} // namespace ombrix
