#pragma once

// Writing a MuPDF document over a user's file without ever losing it. Private to pdfkit
// and the path-addressed engine; callers hold the document's lock and, for the file,
// a FileLock.

#include "core/AtomicFile.h"
#include "pdfkit/MuContext.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit::mu {

// The file MuPDF's document sits on: the file it was opened from or, after an
// incremental save, the file written last. An incremental save appends to these bytes.
struct SaveBase {
    std::filesystem::path path;
    std::optional<FileStamp> stamp; // the base as it was read; another file is no base
    bool fullOnly = false;          // an incremental save was attempted and not kept
};

// What the written file must show when it is opened again.
struct SaveCheck {
    std::string password;   // the one the document was unlocked with
    std::vector<int> pages; // pages whose annotations must read back as the document has them
};

// Writes `doc` over `target` through replaceFile(): the changes appended to the base's
// bytes when MuPDF allows it (the earlier revision stays intact), else a whole
// garbage-collected, compressed rewrite. Before anything is replaced the new file is
// opened again and must open (with the same password, still encrypted when the document
// is), have every page of the document and the annotations of `check.pages` as the
// document has them. `expected` guards the target against changes made by others.
// Returns whether the save was incremental and updates `base`. Throws Error (domain
// "PDFKit"; kChangedOnDisk when the target changed) with the target untouched.
bool saveDocument(fz_context* ctx, pdf_document* doc, const std::filesystem::path& target,
                  SaveBase& base, const std::optional<FileStamp>& expected, const SaveCheck& check);

} // namespace ombrix::pdfkit::mu
