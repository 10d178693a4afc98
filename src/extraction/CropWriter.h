#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ombrix::pdfkit {
class Document;
class Page;
} // namespace ombrix::pdfkit

// The one-page PDF files the crop action writes next to a document.
namespace ombrix::crop {

// One more than the largest sequence number of BASE_pageN_seqNNN.pdf in the folder;
// 1 when there is none or the folder cannot be listed.
int nextSequence(const std::filesystem::path& folder, const std::string& base, int pageNumber);

// BASE_pageN_seqNNN.pdf beside the document, for the next sequence number.
std::filesystem::path nextOutputPath(const std::filesystem::path& document, int pageNumber);

// A one-page PDF of the image, its media box `page` in points (none: the image's size),
// the image filling it, checked by opening it again and written atomically to `output`.
// Throws ombrix::Error; a failure leaves no file behind.
void writeImagePDF(const Image& image, const std::filesystem::path& output,
                   const std::optional<Size>& page = std::nullopt);
// The same for an image cut from a page of `source` (none: as above), protected as the
// document is: an encrypted document's crop is encrypted the same way, with the same
// passwords, or not written at all.
void writeImagePDF(const Image& image, const std::filesystem::path& output,
                   const pdfkit::Document* source, const std::optional<Size>& page = std::nullopt);

// The padded region of the highlight into the next crop file of the document: a page of
// the region's size in points showing it drawn at 8 pixels per point, protected as the
// page's document is; returns the file's path. Drawn from the document in memory: the
// document's file is never written. Throws ombrix::Error saying why.
std::filesystem::path cropToFile(const pdfkit::Page& page, const Rect& bounds,
                                 const std::filesystem::path& document, int pageNumber);

} // namespace ombrix::crop

OMBRIX_API_END
