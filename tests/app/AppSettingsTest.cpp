#include "app/AppSettings.h"

#include "core/AtomicFile.h"
#include "core/FileUrl.h"
#include "support/ScopedEnv.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace ombrix;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct AppSettingsTest : ::testing::Test {
    fs::path dir;
    fs::path file;

    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "ombrix-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        file = dir / "ombrix-pdf" / "preferences.json";
        fs::create_directories(file.parent_path());
    }
    void TearDown() override { fs::remove_all(dir); }

    PreferencesStore store() const { return PreferencesStore(file); }

    void storeRecord(const json& record) {
        writeFileAtomically(file, json{{AppSettings::kStoreKey, record}, {"other", 1}}.dump());
    }

    static json validRecord() {
        return json{{"brainEnabled", false},
                    {"theme", "dark"},
                    {"recentDocuments", {"file:///a.pdf"}},
                    {"lastOpenDocuments", json::array()}};
    }
};

void expectDefaults(const AppSettings& s) {
    EXPECT_TRUE(s.brainEnabled);
    EXPECT_EQ(s.theme, PDFEditorTheme::system);
    EXPECT_TRUE(s.recentDocuments.empty());
    EXPECT_TRUE(s.lastOpenDocuments.empty());
}

} // namespace

TEST_F(AppSettingsTest, FreshStoreLoadsTheDefaultsAndWritesNothing) {
    fs::remove_all(file.parent_path());
    expectDefaults(AppSettings::load(store()));
    EXPECT_EQ(AppSettings::load(store()), AppSettings{});
    EXPECT_FALSE(fs::exists(file.parent_path()));
}

TEST_F(AppSettingsTest, AnyDecodingFailureYieldsTheWholeDefaults) {
    std::vector<std::pair<std::string, json>> broken;
    auto with = [](const char* key, json value) {
        json r = validRecord();
        r[key] = std::move(value);
        return r;
    };
    auto without = [](const char* key) {
        json r = validRecord();
        r.erase(key);
        return r;
    };
    broken.emplace_back("unknown theme", with("theme", "sepia"));
    broken.emplace_back("theme not a string", with("theme", 1));
    broken.emplace_back("brainEnabled as text", with("brainEnabled", "false"));
    broken.emplace_back("brainEnabled as number", with("brainEnabled", 0));
    broken.emplace_back("recent not an array", with("recentDocuments", "file:///a.pdf"));
    broken.emplace_back("recent with a number", with("recentDocuments", {"file:///a.pdf", 3}));
    broken.emplace_back("lastOpen null", with("lastOpenDocuments", nullptr));
    for (const char* key : {"brainEnabled", "theme", "recentDocuments", "lastOpenDocuments"}) {
        broken.emplace_back(std::string("missing ") + key, without(key));
    }
    broken.emplace_back("not an object", json("{\"brainEnabled\":false}"));
    broken.emplace_back("an array", json::array({validRecord()}));

    for (const auto& [name, record] : broken) {
        storeRecord(record);
        auto before = readFile(file);
        expectDefaults(AppSettings::load(store()));
        EXPECT_EQ(readFile(file), before) << name;
    }
}

TEST_F(AppSettingsTest, MalformedFileLoadsTheDefaultsAndKeepsItsBytes) {
    const std::string bytes = R"({"PDFEditor.AppSettings": {"brainEnabled": false,)";
    writeFileAtomically(file, bytes);
    expectDefaults(AppSettings::load(store()));
    EXPECT_EQ(readFile(file), bytes);
}

TEST_F(AppSettingsTest, SaveAndLoadRoundTripEveryField) {
    AppSettings s;
    s.brainEnabled = false;
    s.theme = PDFEditorTheme::light;
    s.recentDocuments = {toFileUrl("/docs/b paper.pdf"), toFileUrl("/docs/a.pdf")};
    s.lastOpenDocuments = {toFileUrl("/docs/Zürich.pdf")};
    auto st = store();
    s.save(st);

    AppSettings loaded = AppSettings::load(store());
    EXPECT_EQ(loaded, s);
    EXPECT_EQ(loaded.recentDocuments,
              (std::vector<std::string>{"file:///docs/b%20paper.pdf", "file:///docs/a.pdf"}));
    EXPECT_EQ(fromFileUrl(loaded.lastOpenDocuments.at(0)), fs::path("/docs/Zürich.pdf"));

    // Stored as a nested object with the four keys.
    json stored = json::parse(*readFile(file)).at(AppSettings::kStoreKey);
    EXPECT_EQ(stored, (json{{"brainEnabled", false},
                            {"theme", "light"},
                            {"recentDocuments", s.recentDocuments},
                            {"lastOpenDocuments", s.lastOpenDocuments}}));
}

TEST_F(AppSettingsTest, TheFormulaSourceIsKeptOnlyWhenItIsNotTheDefault) {
    // Records from before the choice existed read as "page first".
    storeRecord(validRecord());
    EXPECT_EQ(AppSettings::load(store()).formulaSource, FormulaSource::automatic);

    AppSettings s;
    s.formulaSource = FormulaSource::server;
    auto st = store();
    s.save(st);
    EXPECT_EQ(json::parse(*readFile(file)).at(AppSettings::kStoreKey).at("formulaSource"),
              "server only");
    EXPECT_EQ(AppSettings::load(store()).formulaSource, FormulaSource::server);

    // Back to the default: the record has its four keys again.
    s.formulaSource = FormulaSource::automatic;
    s.save(st);
    EXPECT_FALSE(json::parse(*readFile(file)).at(AppSettings::kStoreKey).contains("formulaSource"));

    // An unknown value keeps the rest of the record and reads as the default.
    json record = validRecord();
    record["formulaSource"] = "telepathy";
    record["theme"] = "dark";
    storeRecord(record);
    const AppSettings loaded = AppSettings::load(store());
    EXPECT_EQ(loaded.formulaSource, FormulaSource::automatic);
    EXPECT_EQ(loaded.theme, PDFEditorTheme::dark);
}

TEST_F(AppSettingsTest, UnknownKeysInTheRecordAreIgnored) {
    json record = validRecord();
    record["futureSetting"] = 5;
    storeRecord(record);
    AppSettings loaded = AppSettings::load(store());
    EXPECT_FALSE(loaded.brainEnabled);
    EXPECT_EQ(loaded.theme, PDFEditorTheme::dark);
    EXPECT_EQ(loaded.recentDocuments, std::vector<std::string>{"file:///a.pdf"});
}

TEST_F(AppSettingsTest, SaveReplacesTheRecordAndKeepsOtherKeys) {
    json record = validRecord();
    record["futureSetting"] = 5;
    storeRecord(record);
    auto st = store();
    AppSettings{}.save(st);
    json all = json::parse(*readFile(file));
    EXPECT_EQ(all.at("other"), 1);
    EXPECT_EQ(all.at(AppSettings::kStoreKey), AppSettings{}.toJson());
}

TEST_F(AppSettingsTest, SaveOverAMalformedFileKeepsTheOldBytesAside) {
    writeFileAtomically(file, "not json at all");
    AppSettings s;
    s.theme = PDFEditorTheme::dark;
    auto st = store();
    s.save(st);
    auto aside = file;
    aside += ".corrupt";
    EXPECT_EQ(readFile(aside), "not json at all");
    EXPECT_EQ(AppSettings::load(store()), s);
}

TEST_F(AppSettingsTest, UnencodableRecordIsNotSaved) {
    storeRecord(validRecord());
    auto before = readFile(file);
    AppSettings s;
    s.recentDocuments = {std::string("file:///\xff")};
    auto st = store();
    s.save(st);
    EXPECT_EQ(readFile(file), before);
}

TEST_F(AppSettingsTest, CopiesAreIndependentAndReachTheStoreOnlyBySaving) {
    auto st = store();
    AppSettings original;
    original.recentDocuments = {"file:///one.pdf"};
    original.save(st);

    AppSettings copy = original;
    copy.recentDocuments.push_back("file:///two.pdf");
    copy.brainEnabled = false;
    EXPECT_EQ(original.recentDocuments.size(), 1u);
    EXPECT_TRUE(original.brainEnabled);
    EXPECT_NE(copy, original);
    EXPECT_EQ(AppSettings::load(st), original);

    copy.save(st);
    EXPECT_EQ(AppSettings::load(st), copy);
}

TEST_F(AppSettingsTest, DefaultStoreFollowsXdgConfigHome) {
    ombrix::testing::ScopedEnv config("XDG_CONFIG_HOME", dir.c_str());
    AppSettings s;
    s.theme = PDFEditorTheme::light;
    s.save();
    EXPECT_EQ(AppSettings::load(), s);
    EXPECT_EQ(AppSettings::load(store()), s);
}
