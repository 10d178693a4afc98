#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/LogSink.h"

#include <exception>
#include <memory>
#include <string>

namespace ombrix {

// The logging facade: plain sentences tagged with a subsystem and a category. The line
// is written as given; the sink adds whatever time and level marks it keeps itself.
// Nothing is formatted for a level the sink has disabled.
class Logging {
public:
    static constexpr const char* kSubsystem = "com.ombrix.pdf";
    static constexpr const char* kCategory = "general";

    // A null sink means the system sink.
    Logging(std::string subsystem, std::string category,
            std::shared_ptr<LogSink> sink = defaultLogSink());

    void info(const std::string& message) const;
    void debug(const std::string& message) const;
    void warn(const std::string& message) const; // written at the error level
    void error(const std::string& message) const;
    // "message: description"
    void error(const std::string& message, const std::exception& error) const;
    // A null pointer writes the message alone.
    void error(const std::string& message, const std::exception_ptr& error) const;

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }
    const std::shared_ptr<LogSink>& sink() const { return sink_; }

private:
    void write(LogLevel level, const std::string& line) const;

    std::string subsystem_;
    std::string category_;
    std::shared_ptr<LogSink> sink_;
};

} // namespace ombrix

OMBRIX_API_END
