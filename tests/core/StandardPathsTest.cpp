#include "core/StandardPaths.h"

#include "document/BrainStore.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace ombrix {
namespace {

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

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
