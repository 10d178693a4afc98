#pragma once

#include "pdfkit/MuContext.h"

// Private to pdfkit.

namespace ombrix::pdfkit::mu {

// Deletes page `index` of `doc` and what would otherwise outlive it: links, outline
// entries, named destinations and an open action that lead to it are removed (an outline
// entry with entries under it only loses its destination), and the page labels are
// renumbered so that every remaining page keeps the label it had. The caller holds the
// document's lock and has let go of MuPDF's page map and loaded pages. False, with the document
// possibly half-changed, when MuPDF fails or the page tree is too damaged to change safely; the
// caller then does not write it.
bool deletePageAndReferences(fz_context* ctx, pdf_document* doc, int index);

} // namespace ombrix::pdfkit::mu
