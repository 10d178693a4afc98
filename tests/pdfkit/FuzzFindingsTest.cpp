// Every input the fuzz target ever found a fault with, replayed through the same steps.

#include "fuzz/Exercise.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzFindings, EveryFindingNowKeepsItsPromises) {
    namespace fs = std::filesystem;
    ombrix::testing::TempDir work;
    int replayed = 0;
    for (const auto& entry :
         fs::directory_iterator(fs::path(OMBRIX_SOURCE_DIR) / "tests/data/fuzz")) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(ombrix::testing::exerciseWithinLimits(entry.path(), work.path()), "");
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
