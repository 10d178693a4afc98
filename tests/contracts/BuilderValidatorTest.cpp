#include "RecordingHandler.h"
#include "contracts/ContractBuilder.h"
#include "contracts/ContractError.h"
#include "contracts/ContractGroups.h"
#include "contracts/ContractValidator.h"
#include "contracts/SourceGroup.h"
#include "core/Error.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace ombrix {
namespace {

using testing::RecordingHandler;

class ThrowingNameHandler : public ActionHandler {
public:
    std::string targetName() const override { throw std::runtime_error("no name"); }
    Outcome handle(const DispatchContext&) override { return Outcome::done(); }
};

const std::vector<std::string> kTargets{"app",    "document", "viewer",   "markup",
                                        "search", "layout",   "text_edit"};

class BuilderTest : public ::testing::Test {
protected:
    ContractRegistry registry;
    ContractBuilder builder{registry};
    std::shared_ptr<RecordingHandler::Log> log = std::make_shared<RecordingHandler::Log>();

    void registerHandlersExcept(const std::string& skipped) {
        for (const auto& target : kTargets) {
            if (target != skipped) {
                builder.registerHandler(std::make_shared<RecordingHandler>(target, log));
            }
        }
    }
};

TEST_F(BuilderTest, FinishReturnsTheRegistryWhenNothingFailed) {
    AllContracts::registerWith(builder);
    registerHandlersExcept("");
    EXPECT_EQ(&builder.finish(), &registry);
    EXPECT_EQ(registry.contractCount(), 18u);
    EXPECT_EQ(registry.handlerCount(), 7u);
    EXPECT_NO_THROW(ContractValidator::validate(registry));
    EXPECT_TRUE(ContractValidator::findMissingBridgeOps(registry).empty());
}

TEST_F(BuilderTest, CollectsEveryFailureAndGoesOn) {
    builder.add(ActionID::docOpen, SourceGroup::menu, {"document"}, "open", BridgeOp::open)
        .add(ActionID::docOpen, SourceGroup::toolbar, {"viewer"}, "open")
        .add(ActionID::docSave, SourceGroup::menu, {"document"}, "save")
        .add(ActionID::docSave, SourceGroup::menu, {"document"}, "save")
        .add(ActionID::appQuit, SourceGroup::menu, {"app"}, "quit");
    EXPECT_EQ(registry.contractCount(), 3u);
    ASSERT_EQ(builder.errors().size(), 2u);
    EXPECT_TRUE(registry.actionsFrom("Toolbar").empty());

    try {
        builder.finish();
        FAIL() << "finish() ignored collected errors";
    } catch (const ContractError&) {
        FAIL() << "finish() must fail with the aggregate error";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "ContractBuilder");
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.description(),
                  "Builder errors:\n"
                  "Duplicate contract for doc.open \u2014 existing key: doc.open|document|open\n"
                  "Duplicate contract for doc.save \u2014 existing key: doc.save|document|save");
        EXPECT_EQ(describe(e), e.description());
    }
}

TEST_F(BuilderTest, HandlerFailuresUseTheirOwnText) {
    builder.registerHandler(nullptr).registerHandler(std::make_shared<ThrowingNameHandler>());
    ASSERT_EQ(builder.errors().size(), 2u);
    EXPECT_EQ(describe(builder.errors()[1]), "no name");
    try {
        builder.finish();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.description(),
                  "Builder errors:\n" + describe(builder.errors()[0]) + "\nno name");
    }
}

TEST_F(BuilderTest, AddManyBuildsVerbsFromThePrefix) {
    builder
        .addMany({ActionID::viewZoomIn, ActionID::viewZoomOut}, SourceGroup::menuTB, {"viewer"},
                 "zoom", BridgeOp::render)
        .addMany({ActionID::editCut, ActionID::viewZoomIn, ActionID::editCopy}, SourceGroup::menu,
                 {"text_edit"});
    EXPECT_EQ(registry.contract(ActionID::viewZoomIn).key(), "view.zoomIn|viewer|zoom.view.zoomIn");
    EXPECT_EQ(registry.contract(ActionID::viewZoomOut).bridgeOp, BridgeOp::render);
    EXPECT_EQ(registry.contract(ActionID::viewZoomOut).sources, SourceGroup::menuTB);
    EXPECT_EQ(registry.contract(ActionID::editCopy).key(), "edit.copy|text_edit|edit.copy");
    EXPECT_EQ(registry.contract(ActionID::editCut).bridgeOp, std::nullopt);
    // The repeated id is collected, and the id after it is still added.
    ASSERT_EQ(builder.errors().size(), 1u);
    EXPECT_EQ(describe(builder.errors()[0]),
              "Duplicate contract for view.zoomIn \u2014 existing key: "
              "view.zoomIn|viewer|zoom.view.zoomIn");
}

TEST_F(BuilderTest, ValidationListsEveryActionOfAMissingHandler) {
    AllContracts::registerWith(builder);
    registerHandlersExcept("markup");
    builder.finish();

    EXPECT_EQ(ContractValidator::findMissingHandlers(registry),
              (std::vector<MissingHandler>{{"markup", ActionID::markupHighlight},
                                           {"markup", ActionID::markupUnderline}}));
    try {
        ContractValidator::validate(registry);
        FAIL() << "validation passed without a markup handler";
    } catch (const ContractError& e) {
        EXPECT_EQ(e.kind(), ContractError::Kind::unregisteredTarget);
        EXPECT_EQ(e.text(), "missing handlers:\n"
                            "  \u2022 markup.highlight \u2192 target 'markup'\n"
                            "  \u2022 markup.underline \u2192 target 'markup'");
        EXPECT_EQ(e.description(), "Target 'missing handlers:\n"
                                   "  \u2022 markup.highlight \u2192 target 'markup'\n"
                                   "  \u2022 markup.underline \u2192 target 'markup'' is not "
                                   "registered");
    }
}

TEST_F(BuilderTest, ValidationWalksContractsInRawValueOrder) {
    builder.add(ActionID::viewZoomIn, {}, {"viewer"}, "zoomIn")
        .add(ActionID::appQuit, {}, {"app", "viewer"}, "quit")
        .add(ActionID::docPrint, {}, {}, "print"); // empty targets go unnoticed
    builder.registerHandler(std::make_shared<RecordingHandler>("app", log));
    EXPECT_EQ(ContractValidator::findMissingHandlers(registry),
              (std::vector<MissingHandler>{{"viewer", ActionID::appQuit},
                                           {"viewer", ActionID::viewZoomIn}}));
    builder.registerHandler(std::make_shared<RecordingHandler>("viewer", log));
    EXPECT_NO_THROW(ContractValidator::validate(registry));
    EXPECT_TRUE(ContractValidator::findDuplicates(registry).empty());
}

TEST_F(BuilderTest, DocActionsWithoutBridgeOpAreFound) {
    builder.add(ActionID::docOpen, {}, {"document"}, "open", BridgeOp::open)
        .add(ActionID::docSave, {}, {"document"}, "save")
        .add(ActionID::docClose, {}, {"document"}, "close")
        .add(ActionID::viewZoomIn, {}, {"viewer"}, "zoomIn");
    EXPECT_EQ(ContractValidator::findMissingBridgeOps(registry),
              (std::vector{ActionID::docClose, ActionID::docSave}));
    // Not part of validation.
    registerHandlersExcept("");
    EXPECT_NO_THROW(ContractValidator::validate(registry));
}

TEST(ContractErrorTest, DescriptionsAndCodes) {
    struct Case {
        ContractError error;
        ContractError::Kind kind;
        std::string text;
    };
    const Contract existing(ActionID::editFind, {}, {"search"}, "find");
    const std::vector<Case> cases = {
        {ContractError::duplicateContract(ActionID::editFind, existing),
         ContractError::Kind::duplicateContract,
         "Duplicate contract for edit.find \u2014 existing key: edit.find|search|find"},
        {ContractError::unknownAction(ActionID::commentDelete), ContractError::Kind::unknownAction,
         "Unknown action: comment.delete"},
        {ContractError::noHandlerForTarget("text_edit", ActionID::textAdd),
         ContractError::Kind::noHandlerForTarget,
         "No handler registered for target 'text_edit' (action text.add)"},
        {ContractError::unregisteredTarget("x"), ContractError::Kind::unregisteredTarget,
         "Target 'x' is not registered"},
        {ContractError::bridgeOpRequired(ActionID::docPrint), ContractError::Kind::bridgeOpRequired,
         "Action doc.print touches PDF but has no bridgeOp"},
        {ContractError::invalidSource("Finder"), ContractError::Kind::invalidSource,
         "Invalid source: 'Finder'"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_EQ(c.error.code(), static_cast<int>(i));
        EXPECT_EQ(c.error.domain(), "ContractError");
        EXPECT_EQ(c.error.description(), c.text);
        EXPECT_EQ(describe(c.error), c.text);
        EXPECT_STREQ(c.error.what(), c.text.c_str());
    }
}

} // namespace
} // namespace ombrix
