#include "contracts/ActionID.h"
#include "contracts/BridgeOp.h"
#include "contracts/SourceGroup.h"
#include "core/Error.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <unordered_set>

namespace ombrix {
namespace {

TEST(ActionIDTest, EveryCaseRoundTripsThroughItsRawValue) {
    const auto& all = allActionIDs();
    ASSERT_EQ(all.size(), 31u);
    EXPECT_EQ(all.front(), ActionID::docOpen);
    EXPECT_EQ(all.back(), ActionID::appPreferences);

    std::set<std::string_view> raws;
    for (ActionID id : all) {
        raws.insert(rawValue(id));
        EXPECT_EQ(parseActionID(rawValue(id)), id) << rawValue(id);
        EXPECT_EQ(nlohmann::json(id), std::string(rawValue(id)));
        EXPECT_EQ(nlohmann::json(std::string(rawValue(id))).get<ActionID>(), id);
    }
    EXPECT_EQ(raws.size(), 31u) << "raw values must be distinct";
}

TEST(ActionIDTest, RawValuesFollowTheDeclarationOrder) {
    EXPECT_EQ(rawValue(ActionID::docSaveAs), "doc.saveAs");
    EXPECT_EQ(rawValue(ActionID::editFind), "edit.find");
    EXPECT_EQ(rawValue(ActionID::viewShowSidebar), "view.showSidebar");
    EXPECT_EQ(rawValue(ActionID::layoutContinuous), "layout.continuous");
    EXPECT_EQ(rawValue(ActionID::markupStrikeout), "markup.strikeout");
    EXPECT_EQ(rawValue(ActionID::commentAddSticky), "comment.addSticky");
    EXPECT_EQ(rawValue(ActionID::appAbout), "app.about");
}

TEST(ActionIDTest, ParsingIsExactAndCaseSensitive) {
    for (const char* wrong : {" doc.open", "doc.open ", "doc.Open", "doc_open", "Doc.open",
                              "doc.saveas", "doc", "", "view.zoom_in"}) {
        EXPECT_FALSE(parseActionID(wrong).has_value()) << "'" << wrong << "'";
    }
    EXPECT_EQ(parseActionID("doc.saveAs"), ActionID::docSaveAs);
}

TEST(ActionIDTest, DecodingAnythingButAKnownStringFails) {
    EXPECT_THROW(nlohmann::json("doc.Open").get<ActionID>(), Error);
    EXPECT_THROW(nlohmann::json(0).get<ActionID>(), Error);
    EXPECT_THROW(nlohmann::json(nullptr).get<ActionID>(), Error);
}

TEST(ActionIDTest, SortsByRawValueNotDeclarationOrder) {
    // Declared docOpen < docSave < appQuit; by raw value "app.quit" < "doc.open" < "doc.save".
    auto sorted = sortedByRawValue({ActionID::docSave, ActionID::docOpen, ActionID::appQuit});
    EXPECT_EQ(sorted, (std::vector{ActionID::appQuit, ActionID::docOpen, ActionID::docSave}));
    // A raw value sorts right after its own prefix.
    sorted = sortedByRawValue({ActionID::docSaveAs, ActionID::docSave, ActionID::docPrint});
    EXPECT_EQ(sorted, (std::vector{ActionID::docPrint, ActionID::docSave, ActionID::docSaveAs}));

    ActionIDSet set{ActionID::viewZoomOut, ActionID::appAbout, ActionID::editFind};
    EXPECT_EQ(std::vector(set.begin(), set.end()),
              (std::vector{ActionID::appAbout, ActionID::editFind, ActionID::viewZoomOut}));
}

TEST(ActionIDTest, HashesAreUsableInUnorderedContainers) {
    std::unordered_set<ActionID> ids(allActionIDs().begin(), allActionIDs().end());
    EXPECT_EQ(ids.size(), 31u);
    EXPECT_EQ(std::hash<ActionID>{}(ActionID::docOpen), std::hash<std::string_view>{}("doc.open"));
}

TEST(BridgeOpTest, ImportFileSerialisesAsImport) {
    ASSERT_EQ(allBridgeOps().size(), 10u);
    for (BridgeOp op : allBridgeOps()) {
        EXPECT_EQ(parseBridgeOp(rawValue(op)), op);
        EXPECT_EQ(nlohmann::json(std::string(rawValue(op))).get<BridgeOp>(), op);
    }
    EXPECT_EQ(rawValue(BridgeOp::importFile), "import");
    EXPECT_EQ(rawValue(BridgeOp::exportFile), "export");
    EXPECT_EQ(nlohmann::json(BridgeOp::importFile), "import");
    EXPECT_FALSE(parseBridgeOp("importFile"));
    EXPECT_FALSE(parseBridgeOp("Open"));
    EXPECT_THROW(nlohmann::json("importFile").get<BridgeOp>(), Error);
}

TEST(SourceGroupTest, ListsKeepTheirOrder) {
    using L = std::vector<std::string>;
    EXPECT_EQ(SourceGroup::menu, L{"Menu"});
    EXPECT_EQ(SourceGroup::context, L{"ContextMenu"});
    EXPECT_EQ(SourceGroup::api, L{"API"});
    EXPECT_EQ(SourceGroup::menuTB, (L{"Menu", "Toolbar"}));
    EXPECT_EQ(SourceGroup::menuTBKey, (L{"Menu", "Toolbar", "Keyboard"}));
    EXPECT_EQ(SourceGroup::menuTBKeyMouse, (L{"Menu", "Toolbar", "Keyboard", "Mouse"}));
    EXPECT_EQ(SourceGroup::draw, (L{"Menu", "Toolbar", "Mouse", "Keyboard"}));
    EXPECT_EQ(SourceGroup::shape, (L{"Menu", "Toolbar", "Mouse", "Keyboard"}));
    EXPECT_STREQ(TargetName::viewer, "viewer");
    EXPECT_STREQ(TargetName::textEdit, "text_edit");
}

} // namespace
} // namespace ombrix
