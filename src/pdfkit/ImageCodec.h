#pragma once

#include "core/Image.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::pdfkit {

std::optional<std::string> encodePNG(const Image& image);
std::optional<Image> decodeImage(std::string_view bytes); // PNG, JPEG and what else MuPDF reads

} // namespace ombrix::pdfkit
