#pragma once

#include <filesystem>

namespace ombrix::testing {

// textDocument(pages) written by MuPDF, then page `damaged`'s content stream rewritten by
// MuPDF to its own text followed by 100,000 nested arrays: MuPDF reads the text and then
// gives up on the page, deeper than its error stack goes. Returns `path`.
std::filesystem::path writeDeeplyNestedPage(const std::filesystem::path& path, int pages,
                                            int damaged);

} // namespace ombrix::testing
