#pragma once

#include "core/Image.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::pdfkit {

std::optional<std::string> encodePNG(const Image& image);
std::optional<Image> decodeImage(std::string_view bytes); // PNG, JPEG and what else MuPDF reads

// A one-page PDF whose media box is (0, 0, width, height) of the image, the image filling
// it, one point per pixel; alpha is dropped. None when the image is empty or MuPDF fails.
std::optional<std::string> encodeImagePDF(const Image& image);

} // namespace ombrix::pdfkit
