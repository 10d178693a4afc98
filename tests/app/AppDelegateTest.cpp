#include "app/AppDelegate.h"

#include "app/MenuModel.h"
#include "core/NotificationCenter.h"
#include "support/AppHarness.h"

#include <gtest/gtest.h>

namespace {

using namespace ombrix;
namespace fx = ombrix::testing;

std::shared_ptr<Menu> menuBar() {
    auto bar = std::make_shared<Menu>();
    bar->append(MenuItem{"File", "", 0, nullptr, std::make_shared<Menu>("File")});
    auto edit = std::make_shared<Menu>("Edit");
    edit->append(MenuItem{"Undo", "z", unsigned(KeyModifier::command), nullptr, nullptr});
    edit->append(MenuItem{"Find...", "g", 0, nullptr, nullptr});
    edit->append(MenuItem{"Find…", "", 0, nullptr, nullptr});
    edit->append(MenuItem{"Paste", "v", unsigned(KeyModifier::command), nullptr, nullptr});
    bar->append(MenuItem{"Edit", "", 0, nullptr, edit});
    return bar;
}

std::vector<std::string> titles(const Menu& menu) {
    std::vector<std::string> all;
    for (const auto& item : menu.items()) {
        all.push_back(item.title);
    }
    return all;
}

TEST(AppDelegateTest, LaunchStartsTheContainerAndInstallsTheFindItem) {
    fx::AppHarness h;
    auto bar = menuBar();
    AppDelegate delegate(h.app(), bar);
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(h.app().isBootstrapped());
    EXPECT_EQ(h.user->terminationRequests(), 0u);

    Menu& edit = *bar->item("Edit")->submenu;
    EXPECT_EQ(titles(edit), (std::vector<std::string>{"Undo", "Find…", "Paste", "Find..."}));
    const MenuItem& find = edit.items().back();
    EXPECT_EQ(find.keyEquivalent, "f");
    EXPECT_EQ(find.modifiers, unsigned(KeyModifier::command));

    int posted = 0;
    auto token =
        NotificationCenter::defaultCenter().addObserver("FindCommandTriggered", [&] { ++posted; });
    ASSERT_TRUE(find.action);
    find.action();
    EXPECT_EQ(posted, 1);
}

TEST(AppDelegateTest, AFailedLaunchIsLoggedAndEndsTheApplication) {
    AppContainer::Options options;
    options.handlers = [](AppContainer& c) {
        auto all = c.defaultHandlers();
        all.erase(all.begin() + 2); // no viewer handler
        return all;
    };
    fx::AppHarness h(std::move(options));
    auto bar = menuBar();
    AppDelegate delegate(h.app(), bar);
    delegate.applicationDidFinishLaunching();

    EXPECT_FALSE(h.app().isBootstrapped());
    EXPECT_EQ(h.user->terminationRequests(), 1u);
    auto errors = h.sink->lines(LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Launch failed: ", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("viewer"), std::string::npos) << errors[0];
    // The menu stays as it was.
    EXPECT_EQ(bar->item("Edit")->submenu->items().size(), 4u);
}

TEST(AppDelegateTest, FilesHandedOverOpenInOrderAfterTheCurrentEvent) {
    fx::AppHarness h;
    AppDelegate delegate(h.app());
    delegate.applicationDidFinishLaunching();
    auto first = h.pdf(fx::textDocument(1), "first.pdf");
    auto second = h.pdf(fx::textDocument(2), "second.pdf");

    delegate.applicationOpenURLs({first, h.dir / "missing.pdf", second});
    EXPECT_TRUE(h.app().tabManager()->tabs.get().empty());
    h.loop->runPending();

    const auto& tabs = h.app().tabManager()->tabs.get();
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_EQ(tabs[0]->document->url, first);
    EXPECT_EQ(tabs[1]->document->url, second);
    EXPECT_EQ(h.activeTab(), tabs[1]);
    auto errors = h.sink->lines(LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Failed to open PDF from Finder: ", 0), 0u) << errors[0];
}

} // namespace
