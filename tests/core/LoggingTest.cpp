#include "core/Logging.h"

#include "core/Error.h"
#include "support/ScopedEnv.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace ombrix;
using Entry = MemorySink::Entry;

namespace {

using ombrix::testing::ScopedEnv;

// Counts how often its text is asked for, to prove a disabled level formats nothing.
class CountingError : public std::exception {
public:
    const char* what() const noexcept override {
        ++calls;
        return "counted";
    }
    mutable int calls = 0;
};

struct LoggingTest : ::testing::Test {
    std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
    Logging log{Logging::kSubsystem, Logging::kCategory, sink};
};

} // namespace

TEST_F(LoggingTest, EachOperationWritesTheBareMessageAtItsLevel) {
    sink->setDebugEnabled(true);
    log.info("Bootstrapping");
    log.debug("details");
    log.warn("⚠️ Could not find annotation to delete.");
    log.error("Launch failed");

    std::vector<Entry> expected{
        {LogLevel::info, "com.ombrix.pdf", "general", "Bootstrapping"},
        {LogLevel::debug, "com.ombrix.pdf", "general", "details"},
        {LogLevel::error, "com.ombrix.pdf", "general",
         "⚠️ Could not find annotation to delete."},
        {LogLevel::error, "com.ombrix.pdf", "general", "Launch failed"},
    };
    EXPECT_EQ(sink->entries(), expected);
}

TEST_F(LoggingTest, PercentSignsAreWrittenUnchanged) {
    log.info("100% done %s %n %%");
    log.error("50% failed", Error("X", 1, "%d of %s"));
    EXPECT_EQ(sink->lines(),
              (std::vector<std::string>{"100% done %s %n %%", "50% failed: %d of %s"}));
}

TEST_F(LoggingTest, ErrorWithoutAnErrorValueWritesOnlyTheMessage) {
    log.error("Launch failed");
    log.error("Launch failed", std::exception_ptr{});
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"Launch failed", "Launch failed"}));
}

TEST_F(LoggingTest, ErrorWithAnErrorValueAppendsItsDescription) {
    Error failure("ContractBuilder", 3, "Duplicate contract");
    log.error("Launch failed", failure);
    log.error("Launch failed", std::make_exception_ptr(failure));
    log.error("Open failed", std::runtime_error("plain what"));
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"Launch failed: Duplicate contract",
                                                       "Launch failed: Duplicate contract",
                                                       "Open failed: plain what"}));
    EXPECT_EQ(sink->lines(LogLevel::error).size(), 3u);
}

TEST_F(LoggingTest, DisabledLevelsWriteAndFormatNothing) {
    log.debug("hidden");
    EXPECT_TRUE(sink->entries().empty());

    sink->setEnabled(LogLevel::error, false);
    CountingError counting;
    log.error("m", counting);
    log.error("m", std::make_exception_ptr(counting));
    log.warn("w");
    EXPECT_EQ(counting.calls, 0);
    EXPECT_TRUE(sink->entries().empty());

    sink->setEnabled(LogLevel::error, true);
    log.error("m", counting);
    EXPECT_EQ(counting.calls, 1);
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"m: counted"});
}

TEST(LoggingDefaults, WithoutASinkTheSystemSinkIsUsed) {
    EXPECT_EQ(Logging("a", "b").sink(), defaultLogSink());
    EXPECT_EQ(Logging("a", "b", nullptr).sink(), defaultLogSink());
    EXPECT_NE(dynamic_cast<JournalSink*>(defaultLogSink().get()), nullptr);
}

TEST(JournalSink, DebugIsEnabledOnlyByTheEnvironmentAtConstruction) {
    {
        ScopedEnv env("OMBRIX_LOG_LEVEL", nullptr);
        JournalSink sink;
        EXPECT_FALSE(sink.isEnabled(LogLevel::debug));
        EXPECT_TRUE(sink.isEnabled(LogLevel::info));
        EXPECT_TRUE(sink.isEnabled(LogLevel::error));
    }
    {
        ScopedEnv env("OMBRIX_LOG_LEVEL", "info");
        EXPECT_FALSE(JournalSink().isEnabled(LogLevel::debug));
    }
    ScopedEnv env("OMBRIX_LOG_LEVEL", "debug");
    JournalSink sink;
    ::unsetenv("OMBRIX_LOG_LEVEL");
    EXPECT_TRUE(sink.isEnabled(LogLevel::debug));
}

TEST(JournalSink, WritesWithAndWithoutAJournalSocket) {
    auto dir =
        std::filesystem::temp_directory_path() / ("ombrix-journal-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto socketPath = (dir / "socket").string();

    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof(addr.sun_path));
    std::copy(socketPath.begin(), socketPath.end(), addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    JournalSink journal(socketPath);
    JournalSink syslogOnly((dir / "missing").string());
    EXPECT_TRUE(journal.usesJournal());
    EXPECT_FALSE(syslogOnly.usesJournal());

    for (JournalSink* sink : {&journal, &syslogOnly}) {
        for (auto level : {LogLevel::debug, LogLevel::info, LogLevel::error}) {
            sink->write(level, "com.ombrix.pdf", "general", "test line 100% %s %n\nsecond line");
        }
        Logging(Logging::kSubsystem, Logging::kCategory,
                std::shared_ptr<LogSink>(sink, [](LogSink*) {}))
            .error("through the facade", Error("X", 1, "%n"));
    }
    ::close(fd);
    std::filesystem::remove_all(dir);
}

TEST(StderrSink, WritesOneLinePerMessageAndHonoursTheDebugSwitch) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        auto sink = std::make_shared<StderrSink>(false, out);
        Logging log("s", "c", sink);
        log.info("first 100%");
        log.debug("hidden");
        log.error("failed", Error("X", 1, "why"));
        EXPECT_FALSE(sink->isEnabled(LogLevel::debug));
        EXPECT_TRUE(StderrSink(true, out).isEnabled(LogLevel::debug));
    }
    std::rewind(out);
    std::string content;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, out)) {
        content.append(buffer, n);
    }
    std::fclose(out);
    EXPECT_EQ(content, "first 100%\nfailed: why\n");
}
