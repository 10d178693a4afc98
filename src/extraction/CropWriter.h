#pragma once

#include "core/Geometry.h"
#include "core/Image.h"

#include <filesystem>
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

// A one-page PDF of the image (media box = image size), checked by opening it again and
// written atomically to `output`. Throws ombrix::Error; a failure leaves no file behind.
void writeImagePDF(const Image& image, const std::filesystem::path& output);
// The same for an image cut from a page of `source` (none: as above), protected as the
// document is: an encrypted document's crop is encrypted the same way, with the same
// passwords, or not written at all.
void writeImagePDF(const Image& image, const std::filesystem::path& output,
                   const pdfkit::Document* source);

// The padded region of the highlight at 8× into the next crop file of the document,
// protected as the page's document is; returns the file's path. Throws ombrix::Error.
std::filesystem::path cropToFile(const pdfkit::Page& page, const Rect& bounds,
                                 const std::filesystem::path& document, int pageNumber);

} // namespace ombrix::crop
