#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ombrix::testing {

// A document of very many pages, small on disk and quick to write: every page shares one
// font and one content stream reading kFillerText (on `fillerLines` lines), except the marked
// pages, whose own stream reads markerText(index). All pages hang in one flat /Kids array, the tree
// shape that makes MuPDF walk the whole array to find a page by its index. Written with MuPDF;
// 100,000 pages take a few hundred milliseconds. Throws std::runtime_error on failure.
struct ManyPages {
    static constexpr const char* kFillerText = "Filler line of a very long document";
    static std::string markerText(int index); // "Marker on page N", N counting from 1

    int pages = 0;
    std::vector<int> marked; // page indexes, from 0
    int fillerLines = 1;     // kFillerText this many times down the shared page

    const std::filesystem::path& write(const std::filesystem::path& path) const;
};

} // namespace ombrix::testing
