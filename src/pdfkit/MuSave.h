#pragma once

// Writing a MuPDF document over a user's file without ever losing it. Private to pdfkit
// and the path-addressed engine; callers hold the document's lock and, for the file,
// a FileLock.

#include "core/AtomicFile.h"
#include "pdfkit/MuContext.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit::mu {

// What successive saves of one open document share. MuPDF writes each incremental save
// as one section holding every change since the document was opened, after the bytes it
// opened; the cross-reference chain must lead back to those bytes each time.
struct SaveBase {
    std::optional<std::int64_t> startxref; // as the document was opened
    bool fullOnly = false;                 // an incremental save was attempted and refused
};

// What the written file must show when it is opened again.
struct SaveCheck {
    std::string password;   // the one the document was unlocked with
    std::vector<int> pages; // pages whose annotations must read back as the document has them
    int shownPages = -1;    // the pages the document shows; -1 to count them in it
};

// The pages a reader of the kit finds in `doc` (the tree's count cut to the pages that can
// be reached); -1 when it has no usable page tree.
int pageCountAsOpened(fz_context* ctx, pdf_document* doc);

// Writes `doc` over `target` through replaceFile(): the changes appended to the bytes the
// document was opened from when MuPDF allows it (that revision stays intact), else a whole
// garbage-collected, compressed rewrite. Before anything is replaced the new file is
// opened again and must open (with the same password, still encrypted when the document
// is), have every page of the document and the annotations of `check.pages` as the
// document has them. `expected` guards the target against changes made by others.
// Returns whether the save was incremental and updates `base`. Throws Error (domain
// "PDFKit"; kChangedOnDisk when the target changed) with the target untouched.
bool saveDocument(fz_context* ctx, pdf_document* doc, const std::filesystem::path& target,
                  SaveBase& base, const std::optional<FileStamp>& expected, const SaveCheck& check);

} // namespace ombrix::pdfkit::mu
