#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::pdfkit {

std::optional<std::string> encodePNG(const Image& image);
std::optional<Image> decodeImage(std::string_view bytes); // PNG, JPEG and what else MuPDF reads

// A one-page PDF whose media box is (0, 0, width, height) of `page`, by default the
// image's size (one point per pixel), the image filling it; alpha is dropped. None when
// the image or the page size is empty or MuPDF fails.
std::optional<std::string> encodeImagePDF(const Image& image,
                                          const std::optional<Size>& page = std::nullopt);

} // namespace ombrix::pdfkit

OMBRIX_API_END
