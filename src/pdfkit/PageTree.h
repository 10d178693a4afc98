#pragma once

// Pages of a MuPDF document by index without walking the page tree for each one. Private to
// pdfkit and the path-addressed engine; callers hold the document's lock.

#include "pdfkit/MuContext.h"

#include <vector>

namespace ombrix::pdfkit::mu {

// Whether the process-wide deadline has passed or the memory cap refused an allocation:
// a loop over pages ends on it rather than going on with every page failing.
bool limitReached();

// The page objects of `doc`'s tree in page order, from one walk, borrowed from the tree
// (valid until the tree changes). Empty when the walk does not find exactly `count` pages,
// does not agree with MuPDF's own lookup by index (a tree whose /Count entries lie), or a
// limit stopped it: the caller then looks pages up one by one.
std::vector<pdf_obj*> walkPageTree(fz_context* ctx, pdf_document* doc, int count);

// Page `index`'s object as MuPDF finds it, borrowed; nullptr when it finds none. Through
// MuPDF's page map when one is loaded, without the reference a lookup through the map keeps
// and never gives back (which would keep the page's dictionary past the document's end).
// Without a map each call walks the tree; past a limit it finds nothing.
pdf_obj* pageObject(fz_context* ctx, pdf_document* doc, int index);

// The object number of page `index` as MuPDF finds it, 0 when it finds none. Through
// MuPDF's page map when one is loaded, without the reference a lookup through the map
// keeps and never gives back.
int pageObjectNumber(fz_context* ctx, pdf_document* doc, int index);

} // namespace ombrix::pdfkit::mu
