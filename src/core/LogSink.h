#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ombrix {

// Warnings are written at the error level, so three levels are enough.
enum class LogLevel { debug, info, error };

// Where log lines end up. A sink is asked first whether a level is enabled, so a
// disabled level costs the caller nothing.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool isEnabled(LogLevel level) const = 0;
    virtual void write(LogLevel level, const std::string& subsystem, const std::string& category,
                       const std::string& line) = 0;
};

// The system log: the systemd journal, with the subsystem and category as the fields
// OMBRIX_SUBSYSTEM and OMBRIX_CATEGORY, or syslog(3) where no journal socket exists (and
// for any line the journal refuses). Debug lines are written only when OMBRIX_LOG_LEVEL
// is "debug" at construction.
class JournalSink final : public LogSink {
public:
    static constexpr const char* kIdentifier = "ombrix-pdf";
    static constexpr const char* kDefaultSocket = "/run/systemd/journal/socket";

    // The socket path only decides between journal and syslog; the journal library
    // always talks to the standard socket.
    explicit JournalSink(const std::string& journalSocket = kDefaultSocket);

    bool isEnabled(LogLevel level) const override;
    void write(LogLevel level, const std::string& subsystem, const std::string& category,
               const std::string& line) override;

    bool usesJournal() const { return useJournal_; }

private:
    bool useJournal_;
    bool debugEnabled_;
};

// One line per message on a stream (stderr by default), for the command-line tool.
class StderrSink final : public LogSink {
public:
    explicit StderrSink(bool debugEnabled = true, std::FILE* out = stderr);

    bool isEnabled(LogLevel level) const override;
    void write(LogLevel level, const std::string& subsystem, const std::string& category,
               const std::string& line) override;

private:
    bool debugEnabled_;
    std::FILE* out_;
    std::mutex mutex_;
};

// Keeps every line in memory, for tests. Debug starts disabled, like the system log.
class MemorySink final : public LogSink {
public:
    struct Entry {
        LogLevel level;
        std::string subsystem;
        std::string category;
        std::string line;
        bool operator==(const Entry&) const = default;
    };

    explicit MemorySink(bool debugEnabled = false);

    bool isEnabled(LogLevel level) const override;
    void write(LogLevel level, const std::string& subsystem, const std::string& category,
               const std::string& line) override;

    void setEnabled(LogLevel level, bool enabled);
    void setDebugEnabled(bool enabled) { setEnabled(LogLevel::debug, enabled); }

    std::vector<Entry> entries() const;
    std::vector<std::string> lines() const;
    std::vector<std::string> lines(LogLevel level) const;
    void clear();

private:
    mutable std::mutex mutex_;
    bool enabled_[3];
    std::vector<Entry> entries_;
};

// The process-wide system sink, a JournalSink created on first use.
std::shared_ptr<LogSink> defaultLogSink();

} // namespace ombrix

OMBRIX_API_END
