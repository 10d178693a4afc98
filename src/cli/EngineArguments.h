#pragma once

#include "cli/Arguments.h"
#include "core/Geometry.h"
#include "engine/NativeEngineBridge.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ombrix::cli {

// Arguments of the commands that edit a file through the path-addressed engine.

// "#RRGGBB" with six hexadecimal digits; returned as written.
std::string parseHexColor(std::string_view text);
// A whole number in [low, high]; `what` names it in the message.
std::int64_t parseInteger(std::string_view text, std::string_view what, std::int64_t low,
                          std::int64_t high);

// The file as the engine takes it, after checking that it opens as a PDF with pages; an
// Error saying why when it does not (missing, not a file, not a PDF, needs a password).
std::string engineFile(const NativeEngineBridge& bridge, const std::filesystem::path& file);
// The 0-based page of the engine file the 1-based `text` means; an Error when out of range.
int enginePageIndex(const NativeEngineBridge& bridge, const std::string& file,
                    std::string_view text);
// ": " and why the engine's last call on this thread failed, or nothing.
std::string engineFailure();

// The value of an option the command cannot do without; a UsageError when it is missing.
std::string required(const Arguments& arguments, std::string_view option);

std::string formatRect(const Rect& rect);

} // namespace ombrix::cli
