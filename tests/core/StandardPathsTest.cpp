#include "core/StandardPaths.h"

#include "document/BrainStore.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace ombrix {
namespace {

// Sets or unsets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        apply(value);
    }
    ~ScopedEnv() { apply(saved_); }

private:
    void apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(StandardPathsTest, ApplicationSupportFollowsXdgDataHomeOnlyWhenItIsAbsolute) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv data("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(applicationSupportDirectory(), "/srv/data");
        EXPECT_EQ(BrainStore::defaultDirectory(), "/srv/data/OmbrixPdf/Brains");
    }
    for (std::optional<std::string> ignored :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{"relative/data"}}) {
        ScopedEnv data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(applicationSupportDirectory(), "/home/tester/.local/share")
            << ignored.value_or("(unset)");
    }
}

TEST(StandardPathsTest, WithoutHomeTheUserDatabaseIsAsked) {
    ScopedEnv home("HOME", std::nullopt);
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    auto dir = applicationSupportDirectory();
    EXPECT_TRUE(dir.is_absolute()) << dir;
    EXPECT_EQ(dir.filename(), "share");
}

} // namespace
} // namespace ombrix
