#pragma once

// A one-page PDF of an image written from a given MuPDF document. Private to pdfkit.

#include "core/Geometry.h"
#include "core/Image.h"
#include "pdfkit/MuContext.h"

#include <optional>
#include <string>

namespace ombrix::pdfkit::mu {

// Replaces `pdf`'s catalog with one holding a single page that shows `image` (as
// encodeImagePDF) and drops its document information, then writes the document to memory,
// garbage-collected and with the encryption it has kept: a document opened from an
// encrypted file yields a file encrypted the same way, with the same passwords, holding
// nothing of what the file held. None when the image is empty or MuPDF fails.
std::optional<std::string> writeImagePage(fz_context* ctx, pdf_document* pdf, const Image& image,
                                          const std::optional<Size>& page = std::nullopt);

} // namespace ombrix::pdfkit::mu
