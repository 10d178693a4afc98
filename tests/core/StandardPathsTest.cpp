#include "core/StandardPaths.h"

#include "document/BrainStore.h"
#include "support/ScopedEnv.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace ombrix {
namespace {

using ombrix::testing::ScopedEnv;

TEST(StandardPathsTest, ApplicationSupportIsXdgDataHomeWhenAbsoluteElseUnderHome) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv data("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(BrainStore::defaultDirectory(), "/srv/data/OmbrixPdf/Brains");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        ScopedEnv data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(applicationSupportDirectory(), "/home/tester/.local/share");
    }
    ScopedEnv noHome("HOME", nullptr); // then the user database says where home is
    EXPECT_TRUE(applicationSupportDirectory().is_absolute());
}

} // namespace
} // namespace ombrix
