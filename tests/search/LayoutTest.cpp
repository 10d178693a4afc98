#include "pdfkit/HeadlessViewPort.h"
#include "search/LayoutEngine.h"
#include "search/LayoutMode.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace ombrix {
namespace {

using pdfkit::DisplayDirection;
using pdfkit::DisplayMode;

struct Expected {
    LayoutMode mode;
    DisplayMode display;
    DisplayDirection direction;
    bool pageBreaks;
};

TEST(LayoutEngineTest, EachModeSetsItsDisplayModeDirectionAndPageBreaks) {
    const Expected table[] = {
        {LayoutMode::single, DisplayMode::singlePage, DisplayDirection::vertical, false},
        {LayoutMode::continuous, DisplayMode::singlePageContinuous, DisplayDirection::vertical,
         true},
        {LayoutMode::twoUp, DisplayMode::twoUp, DisplayDirection::horizontal, false},
        {LayoutMode::twoUpContinuous, DisplayMode::twoUpContinuous, DisplayDirection::vertical,
         true},
    };
    LayoutEngine engine;
    pdfkit::HeadlessViewPort view;
    // Applied in a cycle, so each mode also overwrites what the one before it left.
    for (int round = 0; round < 2; ++round) {
        for (const auto& row : table) {
            engine.apply(row.mode, view);
            EXPECT_EQ(view.displayMode(), row.display) << rawValue(row.mode);
            EXPECT_EQ(view.displayDirection(), row.direction) << rawValue(row.mode);
            EXPECT_EQ(view.displaysPageBreaks(), row.pageBreaks) << rawValue(row.mode);
        }
    }
}

TEST(LayoutEngineTest, TwoUpThenBackToContinuousRestoresTheVerticalColumn) {
    LayoutEngine engine;
    pdfkit::HeadlessViewPort view;
    engine.apply(LayoutMode::twoUp, view);
    ASSERT_EQ(view.displayDirection(), DisplayDirection::horizontal);
    ASSERT_FALSE(view.displaysPageBreaks());
    engine.apply(LayoutMode::continuous, view);
    EXPECT_EQ(view.displayMode(), DisplayMode::singlePageContinuous);
    EXPECT_EQ(view.displayDirection(), DisplayDirection::vertical);
    EXPECT_TRUE(view.displaysPageBreaks());
}

TEST(LayoutModeTest, RawValuesRoundTripThroughJson) {
    const char* raws[] = {"single", "continuous", "twoUp", "twoUpContinuous"};
    ASSERT_EQ(allLayoutModes().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const LayoutMode mode = allLayoutModes()[i];
        EXPECT_EQ(static_cast<std::size_t>(mode), i);
        EXPECT_EQ(rawValue(mode), raws[i]);
        EXPECT_EQ(nlohmann::json(mode), nlohmann::json(raws[i]));
        EXPECT_EQ(nlohmann::json(raws[i]).get<LayoutMode>(), mode);
        EXPECT_EQ(layoutModeFromRaw(raws[i]), mode);
    }
}

TEST(LayoutModeTest, UnknownOrMistypedValuesDoNotDecode) {
    EXPECT_EQ(layoutModeFromRaw("two"), std::nullopt);
    EXPECT_EQ(layoutModeFromRaw("Single"), std::nullopt);
    EXPECT_EQ(layoutModeFromRaw(""), std::nullopt);
    EXPECT_THROW(nlohmann::json("two").get<LayoutMode>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(2).get<LayoutMode>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(nullptr).get<LayoutMode>(), nlohmann::json::exception);
}

} // namespace
} // namespace ombrix
