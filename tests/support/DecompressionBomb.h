#pragma once

#include <cstdint>
#include <filesystem>

namespace ombrix::testing {

// A one-page PDF whose content stream, deflated twice, is a few tens of kilobytes and
// inflates to `inflatedBytes` of text-showing operators (one glyph per byte, nearly): a
// page no reader can draw or extract in full. The inner deflate stream is written by hand
// (one fixed-Huffman block of back-references), so making a bomb of gigabytes takes a
// fraction of a second and almost no memory beyond its ~1% compressed size.
void writeDecompressionBomb(const std::filesystem::path& path,
                            std::uint64_t inflatedBytes = std::uint64_t(2) << 30);

} // namespace ombrix::testing
