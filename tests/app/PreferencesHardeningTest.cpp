#include "app/PreferencesStore.h"
#include "core/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ombrix {
namespace preferences_hardening {

namespace fs = std::filesystem;

TEST(PreferencesHardening, ALinkAtThePreferencesNameIsReplacedAndItsTargetKept) {
    testing::TempDir dir;
    const fs::path victim = dir / "settings-of-another-program.json";
    writeFileAtomically(victim, R"({"theirs":true})");
    const fs::path file = dir / "config" / "ombrix-pdf" / "preferences.json";
    PreferencesStore store(file);
    ASSERT_TRUE(store.setValue("zoom", 1.5));
    fs::remove(file);
    fs::create_symlink(victim, file);

    ASSERT_TRUE(store.setValue("theme", "dark"));
    EXPECT_EQ(readFile(victim), R"({"theirs":true})");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(store.value("theme"), nlohmann::json("dark"));

    struct stat st {};
    for (const fs::path& level : {dir / "config", file.parent_path()}) {
        ASSERT_EQ(::stat(level.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
    }
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace preferences_hardening
} // namespace ombrix
