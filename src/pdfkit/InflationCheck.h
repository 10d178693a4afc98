#pragma once

// The check that keeps a decompression bomb from being drawn or read. Private to pdfkit
// (and the path-addressed engine bridge); callers hold the document's lock.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

namespace ombrix::pdfkit::mu {

// Whether the streams drawing the page reads (its content, the forms, tiling patterns,
// soft masks and Type 3 glyphs of its resources, its annotations' appearances) decode to
// more than the inflation limit (setInflationLimit) allows, noting it as reached. Only
// streams that pass through stacked decompressing filters, or one without a bounded
// ratio, are decoded to count them; a single deflate never outgrows the limit, so pages
// of ordinary files cost one look at each stream's dictionary.
bool pageInflatesPastLimit(fz_context* ctx, pdf_document* doc, pdf_obj* page);

} // namespace ombrix::pdfkit::mu
