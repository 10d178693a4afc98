#pragma once

#include "core/Geometry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::testing {

// A page as another reader draws it: RGB pixels at 72 dpi, so one pixel is one point of
// the page as shown (rotation applied, origin top left, y down).
struct RenderedPage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height * 3

    bool empty() const { return rgb.empty(); }
    const unsigned char* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
    double luminance(int x, int y) const;
};

enum class Reader { poppler, mupdf }; // pdftoppm, mutool draw

// Page `pageIndex` of `pdf` drawn by the reader's command-line tool at 72 dpi; empty when
// the tool fails (the reason in `error`).
RenderedPage renderWith(Reader reader, const std::filesystem::path& pdf, int pageIndex,
                        const std::optional<std::string>& password = std::nullopt,
                        std::string* error = nullptr);

// The display-space boxes of the pixels whose colour differs between the two drawings
// by more than `tolerance` in some channel.
struct PixelChange {
    int x = 0;
    int y = 0;
};
std::vector<PixelChange> changedPixels(const RenderedPage& before, const RenderedPage& after,
                                       int tolerance = 8);

// The changed pixels whose centre lies farther than `margin` points outside `shown`
// (display space), for the failure message too.
std::vector<PixelChange> changesOutside(const std::vector<PixelChange>& changes, const Rect& shown,
                                        double margin);

// What is wrong with `after` as `before` with a translucent rectangle laid over text at
// `shown` (display space), drawn by `reader`: pixels changed more than a point outside it,
// paper inside hardly tinted, or text inside covered. Empty when it looks right.
std::vector<std::string> regionLookFaults(Reader reader, const std::filesystem::path& before,
                                          const std::filesystem::path& after, int pageIndex,
                                          const Rect& shown,
                                          const std::optional<std::string>& password = {});

} // namespace ombrix::testing
