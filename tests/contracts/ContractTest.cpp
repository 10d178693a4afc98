#include "contracts/Contract.h"

#include "contracts/SourceGroup.h"
#include "core/Error.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unordered_set>

namespace ombrix {
namespace {

using nlohmann::json;

Contract docOpen() {
    return Contract(ActionID::docOpen, SourceGroup::menuTBKey, {"document"}, "open",
                    BridgeOp::open);
}

TEST(ContractTest, KeyJoinsIdTargetsAndAction) {
    EXPECT_EQ(docOpen().key(), "doc.open|document|open");
    EXPECT_EQ(Contract(ActionID::editFind, SourceGroup::menuTBKey, {"search"}, "find").key(),
              "edit.find|search|find");
    EXPECT_EQ(Contract(ActionID::textAdd, {}, {"text_edit"}, "add").key(),
              "text.add|text_edit|add");
    EXPECT_EQ(Contract(ActionID::docSave, {}, {"document", "app"}, "save").key(),
              "doc.save|document,app|save");
    EXPECT_EQ(Contract(ActionID::docSave, {}, {}, "").key(), "doc.save||");
}

TEST(ContractTest, IdentityIgnoresSourcesAndBridgeOp) {
    Contract a = docOpen();
    Contract b(ActionID::docOpen, {"Finder"}, {"document"}, "open", std::nullopt);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<Contract>{}(a), std::hash<Contract>{}(b));
    std::unordered_set<Contract> set{a, b};
    EXPECT_EQ(set.size(), 1u);

    EXPECT_NE(a, Contract(ActionID::docOpen, SourceGroup::menuTBKey, {"viewer"}, "open"));
    EXPECT_NE(a, Contract(ActionID::docOpen, SourceGroup::menuTBKey, {"document"}, "load"));
    EXPECT_NE(a, Contract(ActionID::docSave, SourceGroup::menuTBKey, {"document"}, "open"));
}

TEST(ContractJSONTest, EncodesRawValuesAndOmitsAbsentBridgeOp) {
    json encoded = docOpen();
    EXPECT_EQ(encoded, json::parse(R"({"id": "doc.open", "sources": ["Menu", "Toolbar",
        "Keyboard"], "targets": ["document"], "action": "open", "bridgeOp": "open"})"));

    json plain = Contract(ActionID::viewZoomIn, {"Menu"}, {"viewer"}, "zoomIn");
    EXPECT_FALSE(plain.contains("bridgeOp"));
    EXPECT_EQ(plain.size(), 4u);

    json imported = Contract(ActionID::docNew, {}, {"document"}, "new", BridgeOp::importFile);
    EXPECT_EQ(imported["bridgeOp"], "import");
}

TEST(ContractJSONTest, RoundTripKeepsEveryField) {
    for (const Contract& original :
         {docOpen(), Contract(ActionID::appAbout, SourceGroup::menu, {"app"}, "about"),
          Contract(ActionID::docPrint, {}, {}, "", BridgeOp::importFile),
          Contract(ActionID::docSaveAs, {"A", "B"}, {"document", "app"}, "saveAs",
                   BridgeOp::compare)}) {
        auto decoded = json::parse(json(original).dump()).get<Contract>();
        EXPECT_EQ(decoded.id, original.id);
        EXPECT_EQ(decoded.sources, original.sources);
        EXPECT_EQ(decoded.targets, original.targets);
        EXPECT_EQ(decoded.action, original.action);
        EXPECT_EQ(decoded.bridgeOp, original.bridgeOp);
    }
}

TEST(ContractJSONTest, BridgeOpIsOptionalOnReading) {
    auto base = json::parse(
        R"({"id": "doc.open", "sources": [], "targets": ["document"], "action": "open"})");
    EXPECT_EQ(contractFromJSON(base).bridgeOp, std::nullopt);

    base["bridgeOp"] = nullptr;
    EXPECT_EQ(contractFromJSON(base).bridgeOp, std::nullopt);

    base["bridgeOp"] = "import";
    EXPECT_EQ(contractFromJSON(base).bridgeOp, BridgeOp::importFile);

    base["unrelated"] = 42; // extra keys are ignored
    EXPECT_EQ(contractFromJSON(base).key(), "doc.open|document|open");
}

TEST(ContractJSONTest, MalformedObjectsFailWithOneErrorType) {
    const auto valid = json::parse(R"({"id": "doc.open", "sources": ["Menu"],
        "targets": ["document"], "action": "open", "bridgeOp": "open"})");
    ASSERT_NO_THROW(contractFromJSON(valid));

    auto expectFailure = [](const json& j, const std::string& why) {
        EXPECT_THROW(j.get<Contract>(), Error) << why << ": " << j.dump();
    };
    for (const char* key : {"id", "sources", "targets", "action"}) {
        auto j = valid;
        j.erase(key);
        expectFailure(j, std::string("without ") + key);
    }
    auto j = valid;
    j["bridgeOp"] = "importFile";
    expectFailure(j, "bridgeOp case name instead of raw value");
    j = valid;
    j["id"] = "doc.Open";
    expectFailure(j, "unknown id");
    j = valid;
    j["id"] = 0;
    expectFailure(j, "numeric id");
    j = valid;
    j["sources"] = "Menu";
    expectFailure(j, "sources not an array");
    j = valid;
    j["targets"] = json::array({"document", 3});
    expectFailure(j, "non-string target");
    j = valid;
    j["action"] = nullptr;
    expectFailure(j, "null action");
    expectFailure(json::array({valid}), "array instead of object");

    j = valid;
    j["bridgeOp"] = "teleport";
    try {
        contractFromJSON(j);
        FAIL() << "decoded an unknown bridgeOp";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("teleport"), std::string::npos) << e.description();
    }
}

} // namespace
} // namespace ombrix
