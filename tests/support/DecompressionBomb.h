#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace ombrix::testing {

// A one-page PDF whose content stream, deflated twice, is a few tens of kilobytes and
// inflates to `inflatedBytes` of text-showing operators (a glyph every two bytes): a
// page no reader can draw or extract in full. The inner deflate stream is written by hand
// (one fixed-Huffman block of back-references), so making a bomb of gigabytes takes a
// fraction of a second and almost no memory beyond its ~1% compressed size.
// With `stacked` false the content is deflated once only: about 1% of what it inflates
// to, a ratio ordinary compression reaches on repetitive pages.
// The content stream of such a page, ready to follow its dictionary's `stream` keyword,
// and the filter entry it needs.
struct BombStream {
    std::string data;
    std::string filter; // "[/FlateDecode /FlateDecode]" or "/FlateDecode"
};
BombStream decompressionBombStream(std::uint64_t inflatedBytes, bool stacked = true);

void writeDecompressionBomb(const std::filesystem::path& path,
                            std::uint64_t inflatedBytes = std::uint64_t(2) << 30,
                            bool stacked = true);

} // namespace ombrix::testing
