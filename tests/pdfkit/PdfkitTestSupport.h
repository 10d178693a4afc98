#pragma once

#include "core/Image.h"
#include "pdfkit/Document.h"
#include "pdfkit/PageRenderer.h"
#include "support/Fixtures.h"
#include "support/HandMadePdf.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gmock/gmock.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::pdfkit::test {

namespace fx = ombrix::testing;

// An optional colour within 0.01 of `expected` in every channel.
MATCHER_P(ColorNear, expected, "") {
    return arg && std::abs(arg->red - expected.red) < 0.01 &&
           std::abs(arg->green - expected.green) < 0.01 &&
           std::abs(arg->blue - expected.blue) < 0.01 &&
           std::abs(arg->alpha - expected.alpha) < 0.01;
}

inline std::shared_ptr<Document>
openFixture(const fx::TempDir& dir, const fx::FixtureDocument& document, const std::string& name) {
    return Document::open(fx::writePdf(document, dir / name));
}

using fx::readBytes;

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

using fx::handMadePdf;

inline std::string stream(const std::string& dictEntries, const std::string& data) {
    return "<< " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
           data + "\nendstream";
}

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

inline Rgba pixelAt(const Image& image, int x, int y) {
    const std::uint32_t p = image.pixel(x, y);
    return Rgba{int(p >> 24), int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)};
}

// The pixel showing a page-space point in an image made by Page::draw at `scale` of a page
// whose media box starts at the origin.
inline Rgba pagePixel(const Image& image, double scale, Point p) {
    const int x = int(std::floor(p.x * scale));
    const int y = image.height() - 1 - int(std::floor(p.y * scale));
    return pixelAt(image, x, y);
}

// Mean colour over a page-space rectangle of an image made by Page::draw.
inline Rgba meanColor(const Image& image, double scale, const Rect& r) {
    long sum[4] = {0, 0, 0, 0};
    long n = 0;
    for (int y = int(r.minY() * scale); y < int(r.maxY() * scale); ++y) {
        for (int x = int(r.minX() * scale); x < int(r.maxX() * scale); ++x) {
            Rgba c = pixelAt(image, x, image.height() - 1 - y);
            sum[0] += c.r;
            sum[1] += c.g;
            sum[2] += c.b;
            sum[3] += c.a;
            ++n;
        }
    }
    if (n == 0) {
        return {};
    }
    return Rgba{int(sum[0] / n), int(sum[1] / n), int(sum[2] / n), int(sum[3] / n)};
}

// Runs a shell command and returns what it printed on stdout and stderr.
inline std::string runCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    return output;
}

inline std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

} // namespace ombrix::pdfkit::test
