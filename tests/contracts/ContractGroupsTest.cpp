#include "contracts/ContractGroups.h"

#include "contracts/ContractBuilder.h"
#include "contracts/ContractError.h"
#include "contracts/ContractRegistry.h"
#include "core/Error.h"

#include <gtest/gtest.h>

namespace ombrix {
namespace {

using Strings = std::vector<std::string>;
const Strings kMTK{"Menu", "Toolbar", "Keyboard"};
const Strings kMT{"Menu", "Toolbar"};

// The declared contracts in registration order.
const std::vector<Contract>& declared() {
    static const std::vector<Contract> table = {
        {ActionID::appQuit, kMTK, {"app"}, "quit"},
        {ActionID::appAbout, {"Menu"}, {"app"}, "about"},
        {ActionID::appPreferences, kMTK, {"app"}, "preferences"},
        {ActionID::docOpen, kMTK, {"document"}, "open", BridgeOp::open},
        {ActionID::docSave, kMTK, {"document"}, "save", BridgeOp::save},
        {ActionID::viewZoomIn, kMTK, {"viewer"}, "zoomIn"},
        {ActionID::viewZoomOut, kMTK, {"viewer"}, "zoomOut"},
        {ActionID::viewZoomFit, kMTK, {"viewer"}, "zoomFit"},
        {ActionID::viewNextPage, kMTK, {"viewer"}, "nextPage"},
        {ActionID::viewPrevPage, kMTK, {"viewer"}, "prevPage"},
        {ActionID::markupHighlight, kMTK, {"markup"}, "highlight"},
        {ActionID::markupUnderline, kMTK, {"markup"}, "underline"},
        {ActionID::editFind, kMTK, {"search"}, "find"},
        {ActionID::layoutSingle, kMT, {"layout"}, "single"},
        {ActionID::layoutTwo, kMT, {"layout"}, "two"},
        {ActionID::layoutContinuous, kMT, {"layout"}, "continuous"},
        {ActionID::textAdd, kMTK, {"text_edit"}, "add"},
        {ActionID::textEdit, kMTK, {"text_edit"}, "edit"},
    };
    return table;
}

class AllContractsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ContractBuilder builder(registry);
        AllContracts::registerWith(builder);
        builder.finish();
    }
    ContractRegistry registry;
};

TEST_F(AllContractsTest, RegistersExactlyTheDeclaredContracts) {
    ASSERT_EQ(registry.contractCount(), 18u);
    for (const Contract& expected : declared()) {
        SCOPED_TRACE(expected.key());
        Contract actual = registry.contract(expected.id);
        EXPECT_EQ(actual.key(), expected.key());
        EXPECT_EQ(actual.sources, expected.sources);
        EXPECT_EQ(actual.targets, expected.targets);
        EXPECT_EQ(actual.bridgeOp, expected.bridgeOp);
    }
}

TEST_F(AllContractsTest, ThirteenActionsHaveNoContract) {
    std::vector<ActionID> uncovered;
    for (ActionID id : allActionIDs()) {
        if (!registry.contracts().contains(id)) {
            uncovered.push_back(id);
        }
    }
    EXPECT_EQ(uncovered, (std::vector{ActionID::docNew, ActionID::docSaveAs, ActionID::docClose,
                                      ActionID::docPrint, ActionID::editUndo, ActionID::editRedo,
                                      ActionID::editCut, ActionID::editCopy, ActionID::editPaste,
                                      ActionID::viewShowSidebar, ActionID::markupStrikeout,
                                      ActionID::commentAddSticky, ActionID::commentDelete}));
}

TEST_F(AllContractsTest, IndexesCoverSourcesAndTargets) {
    EXPECT_EQ(registry.allSources(), (Strings{"Keyboard", "Menu", "Toolbar"}));
    EXPECT_EQ(registry.allTargets(),
              (Strings{"app", "document", "layout", "markup", "search", "text_edit", "viewer"}));

    EXPECT_EQ(registry.actionsFrom("Keyboard"),
              (std::vector{ActionID::appPreferences, ActionID::appQuit, ActionID::docOpen,
                           ActionID::docSave, ActionID::editFind, ActionID::markupHighlight,
                           ActionID::markupUnderline, ActionID::textAdd, ActionID::textEdit,
                           ActionID::viewNextPage, ActionID::viewPrevPage, ActionID::viewZoomFit,
                           ActionID::viewZoomIn, ActionID::viewZoomOut}));
    EXPECT_EQ(registry.actionsFrom("Menu").size(), 18u);
    EXPECT_EQ(registry.actionsFrom("Toolbar").size(), 17u); // all but app.about
    EXPECT_TRUE(registry.actionsFrom("Mouse").empty());
    EXPECT_TRUE(registry.actionsFrom("menu").empty());

    EXPECT_EQ(
        registry.actionsTo("layout"),
        (std::vector{ActionID::layoutContinuous, ActionID::layoutSingle, ActionID::layoutTwo}));
    EXPECT_EQ(registry.actionsTo("viewer").size(), 5u);
    EXPECT_TRUE(registry.actionsTo("view").empty());
    EXPECT_TRUE(registry.actionsTo("text").empty());

    // Every indexed id has a contract, and every id's sources and targets are indexed.
    for (const auto& [source, ids] : registry.sourceIndex()) {
        for (ActionID id : ids) {
            auto sources = registry.contract(id).sources;
            EXPECT_NE(std::find(sources.begin(), sources.end(), source), sources.end());
        }
    }
}

TEST_F(AllContractsTest, SortedIdsRunFromAppAboutToViewZoomOut) {
    auto first = registry.contracts().begin()->first;
    auto last = registry.contracts().rbegin()->first;
    EXPECT_EQ(first, ActionID::appAbout);
    EXPECT_EQ(last, ActionID::viewZoomOut);
}

TEST_F(AllContractsTest, RegisteringAgainReportsEveryContractInTableOrder) {
    // A second pass fails for each contract, which makes the registration order visible.
    ContractBuilder again(registry);
    AllContracts::registerWith(again);
    ASSERT_EQ(again.errors().size(), declared().size());
    for (std::size_t i = 0; i < declared().size(); ++i) {
        const auto& id = declared()[i].id;
        EXPECT_EQ(describe(again.errors()[i]), "Duplicate contract for " +
                                                   std::string(rawValue(id)) +
                                                   " \u2014 existing key: " + declared()[i].key());
    }
    EXPECT_EQ(registry.contractCount(), 18u);
    EXPECT_THROW(again.finish(), Error);
}

TEST(ContractGroupsTest, GroupsAddOnlyTheirOwnContracts) {
    struct Case {
        void (*registerWith)(ContractBuilder&);
        std::vector<ActionID> ids;
    };
    const std::vector<Case> cases = {
        {AppContracts::registerWith,
         {ActionID::appAbout, ActionID::appPreferences, ActionID::appQuit}},
        {DocumentContracts::registerWith, {ActionID::docOpen, ActionID::docSave}},
        {ViewContracts::registerWith,
         {ActionID::viewNextPage, ActionID::viewPrevPage, ActionID::viewZoomFit,
          ActionID::viewZoomIn, ActionID::viewZoomOut}},
        {MarkupContracts::registerWith, {ActionID::markupHighlight, ActionID::markupUnderline}},
        {SearchContracts::registerWith, {ActionID::editFind}},
        {LayoutContracts::registerWith,
         {ActionID::layoutContinuous, ActionID::layoutSingle, ActionID::layoutTwo}},
        {TextContracts::registerWith, {ActionID::textAdd, ActionID::textEdit}},
    };
    for (const auto& c : cases) {
        ContractRegistry registry;
        ContractBuilder builder(registry);
        c.registerWith(builder);
        EXPECT_TRUE(builder.errors().empty());
        std::vector<ActionID> ids;
        for (const auto& [id, contract] : registry.contracts()) {
            ids.push_back(id);
        }
        EXPECT_EQ(ids, c.ids);
    }
}

} // namespace
} // namespace ombrix
