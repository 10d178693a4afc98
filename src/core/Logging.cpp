#include "core/Logging.h"

#include "core/Error.h"

namespace ombrix {

Logging::Logging(std::string subsystem, std::string category, std::shared_ptr<LogSink> sink)
    : subsystem_(std::move(subsystem)), category_(std::move(category)),
      sink_(sink ? std::move(sink) : defaultLogSink()) {}

void Logging::write(LogLevel level, const std::string& line) const {
    sink_->write(level, subsystem_, category_, line);
}

void Logging::info(const std::string& message) const {
    if (sink_->isEnabled(LogLevel::info)) {
        write(LogLevel::info, message);
    }
}

void Logging::debug(const std::string& message) const {
    if (sink_->isEnabled(LogLevel::debug)) {
        write(LogLevel::debug, message);
    }
}

void Logging::warn(const std::string& message) const {
    if (sink_->isEnabled(LogLevel::error)) {
        write(LogLevel::error, message);
    }
}

void Logging::error(const std::string& message) const {
    if (sink_->isEnabled(LogLevel::error)) {
        write(LogLevel::error, message);
    }
}

void Logging::error(const std::string& message, const std::exception& error) const {
    if (sink_->isEnabled(LogLevel::error)) {
        write(LogLevel::error, message + ": " + describe(error));
    }
}

void Logging::error(const std::string& message, const std::exception_ptr& error) const {
    if (!sink_->isEnabled(LogLevel::error)) {
        return;
    }
    write(LogLevel::error, error ? message + ": " + describe(error) : message);
}

} // namespace ombrix
