#include "contracts/ContractRegistry.h"

#include "RecordingHandler.h"
#include "contracts/ContractError.h"
#include "contracts/SourceGroup.h"
#include "core/Error.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

namespace ombrix {
namespace {

using testing::RecordingHandler;

// Runs f, which must throw a ContractError; returns it for inspection.
template <class F> ContractError contractErrorOf(F&& f) {
    try {
        f();
    } catch (const ContractError& e) {
        return e;
    }
    ADD_FAILURE() << "no ContractError thrown";
    return ContractError::unregisteredTarget("<none>");
}

class RegistryTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingHandler> handlerFor(const std::string& target) {
        auto h = std::make_shared<RecordingHandler>(target, log);
        registry.registerHandler(h);
        return h;
    }

    ContractRegistry registry;
    std::shared_ptr<RecordingHandler::Log> log = std::make_shared<RecordingHandler::Log>();
};

TEST_F(RegistryTest, DuplicateIdIsRejectedAndLeavesTheFirstContractAlone) {
    registry.add(
        Contract(ActionID::docOpen, SourceGroup::menuTBKey, {"document"}, "open", BridgeOp::open));
    auto error = contractErrorOf(
        [&] { registry.add(Contract(ActionID::docOpen, {"Mouse"}, {"viewer"}, "show")); });
    EXPECT_EQ(error.description(),
              "Duplicate contract for doc.open \u2014 existing key: doc.open|document|open");
    EXPECT_EQ(error.kind(), ContractError::Kind::duplicateContract);
    EXPECT_EQ(error.domain(), "ContractError");
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(error.actionID(), ActionID::docOpen);
    ASSERT_TRUE(error.existing());
    EXPECT_EQ(error.existing()->key(), "doc.open|document|open");

    EXPECT_EQ(registry.contractCount(), 1u);
    EXPECT_EQ(registry.contract(ActionID::docOpen).targets, std::vector<std::string>{"document"});
    EXPECT_EQ(registry.allSources(), (std::vector<std::string>{"Keyboard", "Menu", "Toolbar"}));
    EXPECT_EQ(registry.allTargets(), std::vector<std::string>{"document"});
    EXPECT_TRUE(registry.actionsFrom("Mouse").empty());
}

TEST_F(RegistryTest, UnknownActionFailsWithoutCallingAnyHandler) {
    handlerFor("document");
    registry.add(Contract(ActionID::docOpen, {}, {"document"}, "open"));
    auto error = contractErrorOf([&] { registry.dispatch(ActionID::docNew, "Menu"); });
    EXPECT_EQ(error.description(), "Unknown action: doc.new");
    EXPECT_EQ(error.code(), 1);
    EXPECT_TRUE(log->empty());

    EXPECT_EQ(contractErrorOf([&] { registry.contract(ActionID::editUndo); }).description(),
              "Unknown action: edit.undo");
}

TEST_F(RegistryTest, MissingHandlerAndEmptyTargetsAreReported) {
    registry.add(Contract(ActionID::viewZoomIn, SourceGroup::menuTBKey, {"viewer"}, "zoomIn"));
    auto missing = contractErrorOf([&] { registry.dispatch(ActionID::viewZoomIn, "Menu"); });
    EXPECT_EQ(missing.description(),
              "No handler registered for target 'viewer' (action view.zoomIn)");
    EXPECT_EQ(missing.text(), "viewer");

    registry.add(Contract(ActionID::docPrint, {"Menu"}, {}, "print"));
    auto empty = contractErrorOf([&] { registry.dispatch(ActionID::docPrint, "Menu"); });
    EXPECT_EQ(empty.description(), "Target '' is not registered");
    EXPECT_EQ(empty.kind(), ContractError::Kind::unregisteredTarget);
}

TEST_F(RegistryTest, DispatchHandsSourceAndParamsThroughUnchecked) {
    handlerFor("search");
    registry.add(Contract(ActionID::editFind, SourceGroup::menuTBKey, {"search"}, "find"));

    // "SearchBar" is not among the contract's sources; dispatch does not care.
    registry.dispatch(ActionID::editFind, "SearchBar",
                      {{"query", std::string("needle")}, {"pageIndex", 3}});
    registry.dispatch(ActionID::editFind, "Menu");

    ASSERT_EQ(log->size(), 2u);
    const auto& first = (*log)[0].context;
    EXPECT_EQ(first.action, ActionID::editFind);
    EXPECT_EQ(first.source, "SearchBar");
    EXPECT_EQ(first.params.size(), 2u);
    EXPECT_EQ(first.value<std::string>("query"), "needle");
    EXPECT_EQ(first.value<int>("pageIndex"), 3);
    EXPECT_TRUE((*log)[1].context.params.empty());
}

TEST_F(RegistryTest, TargetsRunInOrderAndStopAtTheFirstFailure) {
    auto document = handlerFor("document");
    auto viewer = handlerFor("viewer");
    handlerFor("app");
    registry.add(Contract(ActionID::docClose, {}, {"document", "viewer", "app"}, "close"));

    EXPECT_TRUE(registry.dispatch(ActionID::docClose, "Menu").isDone());
    ASSERT_EQ(log->size(), 3u);
    EXPECT_EQ((*log)[0].target, "document");
    EXPECT_EQ((*log)[1].target, "viewer");
    EXPECT_EQ((*log)[2].target, "app");

    // A handler that says it failed ends the dispatch, and its reason is the outcome.
    log->clear();
    viewer->answer(Outcome::failed("the view is gone"));
    const Outcome failed = registry.dispatch(ActionID::docClose, "Menu");
    EXPECT_FALSE(failed.isDone());
    EXPECT_EQ(failed.reason(), "the view is gone");
    ASSERT_EQ(log->size(), 2u);
    viewer->answer(Outcome::done());

    // The handler's own error passes through unchanged, and "app" is not reached.
    log->clear();
    viewer->failWith(std::make_exception_ptr(std::runtime_error("viewer broke")));
    try {
        registry.dispatch(ActionID::docClose, "Menu");
        FAIL() << "dispatch swallowed the handler's failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "viewer broke");
    }
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ((*log)[1].target, "viewer");

    // A missing later handler fails after the earlier ones have already run.
    log->clear();
    registry.add(Contract(ActionID::docPrint, {}, {"document", "printer"}, "print"));
    auto error = contractErrorOf([&] { registry.dispatch(ActionID::docPrint, "Menu"); });
    EXPECT_EQ(error.description(), "No handler registered for target 'printer' (action doc.print)");
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ((*log)[0].target, "document");
}

TEST_F(RegistryTest, ErrorsFromOtherDomainsKeepTheirIdentity) {
    auto document = handlerFor("document");
    registry.add(Contract(ActionID::docOpen, {}, {"document"}, "open"));
    document->failWith(std::make_exception_ptr(Error("PDFKitBridge", 7, "Cannot open file")));
    try {
        registry.dispatch(ActionID::docOpen, "Finder");
        FAIL();
    } catch (const ContractError&) {
        FAIL() << "handler error was rewrapped";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "PDFKitBridge");
        EXPECT_EQ(e.code(), 7);
    }
}

TEST_F(RegistryTest, ReplacingAHandlerKeepsTheCount) {
    auto first = handlerFor("viewer");
    handlerFor("app");
    ASSERT_EQ(registry.handlerCount(), 2u);

    auto secondLog = std::make_shared<RecordingHandler::Log>();
    auto second = std::make_shared<RecordingHandler>("viewer", secondLog);
    registry.registerHandler(second);
    EXPECT_EQ(registry.handlerCount(), 2u);
    EXPECT_EQ(registry.handler("viewer"), second);
    EXPECT_EQ(registry.handler("nobody"), nullptr);

    registry.add(Contract(ActionID::viewZoomIn, {}, {"viewer"}, "zoomIn"));
    registry.dispatch(ActionID::viewZoomIn, "Menu");
    EXPECT_TRUE(log->empty());
    EXPECT_EQ(secondLog->size(), 1u);
}

TEST_F(RegistryTest, NullHandlerIsRefused) {
    EXPECT_THROW(registry.registerHandler(nullptr), Error);
    EXPECT_EQ(registry.handlerCount(), 0u);
}

TEST(DispatchContextTest, ValueNeedsTheExactType) {
    DispatchContext context{ActionID::docOpen,
                            "Finder",
                            {{"url", std::filesystem::path("/tmp/a.pdf")},
                             {"query", std::string("x")},
                             {"pageIndex", 2},
                             {"literal", "not a std::string"}}};
    EXPECT_EQ(context.value<std::filesystem::path>("url"), std::filesystem::path("/tmp/a.pdf"));
    EXPECT_FALSE(context.value<std::string>("url"));
    EXPECT_EQ(context.value<std::string>("query"), "x");
    EXPECT_EQ(context.value<int>("pageIndex"), 2);
    EXPECT_FALSE(context.value<long>("pageIndex"));
    EXPECT_FALSE(context.value<double>("pageIndex"));
    EXPECT_FALSE(context.value<std::string>("literal"));
    EXPECT_FALSE(context.value<int>("missing"));
}

} // namespace
} // namespace ombrix
