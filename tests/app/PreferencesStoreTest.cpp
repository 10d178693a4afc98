#include "app/PreferencesStore.h"

#include "core/AtomicFile.h"
#include "support/ScopedEnv.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace ombrix;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using ombrix::testing::ScopedEnv;

struct PreferencesStoreTest : ::testing::Test {
    fs::path dir;
    fs::path file;

    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "ombrix-prefs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        file = dir / "config" / "ombrix-pdf" / "preferences.json";
    }
    void TearDown() override { fs::remove_all(dir); }

    void writeRaw(const std::string& bytes) {
        fs::create_directories(file.parent_path());
        writeFileAtomically(file, bytes);
    }
};

} // namespace

TEST_F(PreferencesStoreTest, MissingFileHasNoValuesAndIsCreatedOnFirstWrite) {
    PreferencesStore store(file);
    EXPECT_EQ(store.value("a"), std::nullopt);
    EXPECT_FALSE(fs::exists(file.parent_path()));

    EXPECT_TRUE(store.setValue("a", json{{"nested", 1}}));
    EXPECT_EQ(store.value("a"), (json{{"nested", 1}}));
    EXPECT_EQ(json::parse(*readFile(file)), (json{{"a", {{"nested", 1}}}}));
}

TEST_F(PreferencesStoreTest, SetValueReplacesOneKeyAndKeepsTheOthers) {
    writeRaw(R"({"other": [1, 2], "a": "old"})");
    PreferencesStore store(file);
    PreferencesStore copy = store; // a copy names the same file
    EXPECT_TRUE(copy.setValue("a", "new"));
    EXPECT_TRUE(store.setValue("b", true));
    EXPECT_EQ(json::parse(*readFile(file)), (json{{"other", {1, 2}}, {"a", "new"}, {"b", true}}));
    EXPECT_EQ(store.value("other"), (json{1, 2}));
}

TEST_F(PreferencesStoreTest, MalformedFileIsReadAsEmptyAndNeverModifiedByReading) {
    for (std::string bytes : {"{\"a\": 1", "[1, 2]", "\"text\"", "", "{\"a\": \"\xff\"}"}) {
        writeRaw(bytes);
        PreferencesStore store(file);
        EXPECT_EQ(store.value("a"), std::nullopt) << bytes;
        EXPECT_EQ(readFile(file), bytes);
    }
}

TEST_F(PreferencesStoreTest, WritingOverAMalformedFileKeepsItsBytesAside) {
    auto aside = file;
    aside += ".corrupt";
    writeRaw("{broken");
    fs::create_directories(file.parent_path());
    writeFileAtomically(aside, "older corrupt file");

    PreferencesStore store(file);
    EXPECT_TRUE(store.setValue("k", 1));
    EXPECT_EQ(readFile(aside), "{broken");
    EXPECT_EQ(json::parse(*readFile(file)), (json{{"k", 1}}));
}

TEST_F(PreferencesStoreTest, FailuresLeaveTheFileAsItWas) {
    writeRaw(R"({"a": 1})");
    PreferencesStore store(file);
    // Not UTF-8: cannot be encoded as JSON.
    EXPECT_FALSE(store.setValue("b", std::string("\xff\xfe")));
    EXPECT_EQ(readFile(file), R"({"a": 1})");

    // Something that exists but cannot be read as a file is not replaced.
    auto blocked = dir / "blocked.json";
    fs::create_directories(blocked / "inner");
    EXPECT_FALSE(PreferencesStore(blocked).setValue("a", 1));
    EXPECT_TRUE(fs::is_directory(blocked / "inner"));
}

TEST_F(PreferencesStoreTest, ConcurrentWritersOfDifferentKeysLoseNothing) {
    PreferencesStore store(file);
    std::vector<std::thread> writers;
    for (int t = 0; t < 6; ++t) {
        writers.emplace_back([&store, t] {
            for (int i = 0; i < 10; ++i) {
                store.setValue("key" + std::to_string(t), i);
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    for (int t = 0; t < 6; ++t) {
        EXPECT_EQ(store.value("key" + std::to_string(t)), json(9));
    }
}

TEST_F(PreferencesStoreTest, StandardPathFollowsXdgConfigHome) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", dir.c_str());
        EXPECT_EQ(PreferencesStore::standardPath(), dir / "ombrix-pdf" / "preferences.json");
        EXPECT_EQ(PreferencesStore::standard().path(), dir / "ombrix-pdf" / "preferences.json");
    }
    const fs::path fallback = "/home/someone/.config/ombrix-pdf/preferences.json";
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(PreferencesStore::standardPath(), fallback) << (value ? value : "(unset)");
    }
}
