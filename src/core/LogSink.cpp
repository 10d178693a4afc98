#include "core/LogSink.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

namespace ombrix {

namespace {

int priorityOf(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return LOG_DEBUG;
    case LogLevel::info:
        return LOG_INFO;
    case LogLevel::error:
        break;
    }
    return LOG_ERR;
}

bool isSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool debugRequested() {
    const char* level = std::getenv("OMBRIX_LOG_LEVEL");
    return level && std::strcmp(level, "debug") == 0;
}

void openSyslogOnce() {
    static std::once_flag once;
    // The identifier must outlive every syslog call, so it is a literal.
    std::call_once(once, [] { ::openlog(JournalSink::kIdentifier, LOG_PID, LOG_USER); });
}

iovec field(const std::string& text) {
    return iovec{const_cast<char*>(text.data()), text.size()};
}

} // namespace

JournalSink::JournalSink(const std::string& journalSocket)
    : useJournal_(isSocket(journalSocket)), debugEnabled_(debugRequested()) {
    if (!useJournal_) {
        openSyslogOnce();
    }
}

bool JournalSink::isEnabled(LogLevel level) const {
    return level != LogLevel::debug || debugEnabled_;
}

void JournalSink::write(LogLevel level, const std::string& subsystem, const std::string& category,
                        const std::string& line) {
    const int priority = priorityOf(level);
    if (useJournal_) {
        // Fields go in as whole values through iovecs: nothing in the line is ever
        // read as a format, and newlines or NULs stay intact.
        const std::string message = "MESSAGE=" + line;
        const std::string prio = "PRIORITY=" + std::to_string(priority);
        std::string ident = "SYSLOG_IDENTIFIER=";
        ident += kIdentifier;
        const std::string sub = "OMBRIX_SUBSYSTEM=" + subsystem;
        const std::string cat = "OMBRIX_CATEGORY=" + category;
        iovec fields[] = {field(message), field(prio), field(ident), field(sub), field(cat)};
        if (sd_journal_sendv(fields, static_cast<int>(std::size(fields))) >= 0) {
            return;
        }
        openSyslogOnce();
    }
    ::syslog(priority, "%s", line.c_str());
}

StderrSink::StderrSink(bool debugEnabled, std::FILE* out)
    : debugEnabled_(debugEnabled), out_(out) {}

bool StderrSink::isEnabled(LogLevel level) const {
    return level != LogLevel::debug || debugEnabled_;
}

void StderrSink::write(LogLevel, const std::string&, const std::string&, const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

MemorySink::MemorySink(bool debugEnabled) : enabled_{debugEnabled, true, true} {}

bool MemorySink::isEnabled(LogLevel level) const {
    std::lock_guard lock(mutex_);
    return enabled_[static_cast<int>(level)];
}

void MemorySink::write(LogLevel level, const std::string& subsystem, const std::string& category,
                       const std::string& line) {
    std::lock_guard lock(mutex_);
    entries_.push_back({level, subsystem, category, line});
}

void MemorySink::setEnabled(LogLevel level, bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_[static_cast<int>(level)] = enabled;
}

std::vector<MemorySink::Entry> MemorySink::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<std::string> MemorySink::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : entries_) {
        out.push_back(e.line);
    }
    return out;
}

std::vector<std::string> MemorySink::lines(LogLevel level) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : entries_) {
        if (e.level == level) {
            out.push_back(e.line);
        }
    }
    return out;
}

void MemorySink::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::shared_ptr<LogSink> defaultLogSink() {
    static const std::shared_ptr<LogSink> sink = std::make_shared<JournalSink>();
    return sink;
}

} // namespace ombrix
