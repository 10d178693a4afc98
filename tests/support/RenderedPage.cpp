#include "support/RenderedPage.h"

#include "support/Shell.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace ombrix::testing {

namespace fs = std::filesystem;

double RenderedPage::luminance(int x, int y) const {
    const unsigned char* p = at(x, y);
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

namespace {

// A binary PPM (P6, maxval 255), as both tools write it.
RenderedPage readPpm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    RenderedPage page;
    if (!in || magic != "P6" || width <= 0 || height <= 0 || maxval != 255) {
        return page;
    }
    page.width = width;
    page.height = height;
    page.rgb.resize(std::size_t(width) * height * 3);
    in.read(reinterpret_cast<char*>(page.rgb.data()), std::streamsize(page.rgb.size()));
    if (!in) {
        return RenderedPage{};
    }
    return page;
}

} // namespace

RenderedPage renderWith(Reader reader, const fs::path& pdf, int pageIndex,
                        const std::optional<std::string>& password, std::string* error) {
    const fs::path out =
        fs::temp_directory_path() / ("ombrix-render-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(std::rand()) + ".ppm");
    const std::string page = std::to_string(pageIndex + 1);
    std::string command;
    if (reader == Reader::poppler) {
        command = "pdftoppm -r 72 -f " + page + " -l " + page + " -singlefile " +
                  (password ? "-upw " + shellQuoted(*password) + " " : "") +
                  shellQuoted(pdf.string()) + " " +
                  shellQuoted((out.parent_path() / out.stem()).string());
    } else {
        command = "mutool draw -q -r 72 -c rgb -F pnm -o " + shellQuoted(out.string()) + " " +
                  (password ? "-p " + shellQuoted(*password) + " " : "") +
                  shellQuoted(pdf.string()) + " " + page;
    }
    const ShellRun run = runShell(command);
    RenderedPage rendered = run.status == 0 ? readPpm(out) : RenderedPage{};
    std::error_code ignored;
    fs::remove(out, ignored);
    if (rendered.empty() && error) {
        *error = command + ": " + run.err;
    }
    return rendered;
}

std::vector<PixelChange> changedPixels(const RenderedPage& before, const RenderedPage& after,
                                       int tolerance) {
    std::vector<PixelChange> changes;
    if (before.width != after.width || before.height != after.height) {
        return changes;
    }
    for (int y = 0; y < before.height; ++y) {
        for (int x = 0; x < before.width; ++x) {
            const unsigned char* a = before.at(x, y);
            const unsigned char* b = after.at(x, y);
            for (int c = 0; c < 3; ++c) {
                if (std::abs(int(a[c]) - int(b[c])) > tolerance) {
                    changes.push_back({x, y});
                    break;
                }
            }
        }
    }
    return changes;
}

std::vector<PixelChange> changesOutside(const std::vector<PixelChange>& changes, const Rect& shown,
                                        double margin) {
    std::vector<PixelChange> outside;
    for (const PixelChange& c : changes) {
        const double x = c.x + 0.5, y = c.y + 0.5;
        if (x < shown.minX() - margin || x > shown.maxX() + margin || y < shown.minY() - margin ||
            y > shown.maxY() + margin) {
            outside.push_back(c);
        }
    }
    return outside;
}

std::vector<std::string> regionLookFaults(Reader reader, const fs::path& before,
                                          const fs::path& after, int pageIndex, const Rect& shown,
                                          const std::optional<std::string>& password) {
    std::string error;
    const RenderedPage a = renderWith(reader, before, pageIndex, password, &error);
    const RenderedPage b = renderWith(reader, after, pageIndex, password, &error);
    if (a.empty() || b.empty() || a.width != b.width || a.height != b.height) {
        return {"cannot compare the drawings: " + error};
    }
    std::vector<std::string> faults;
    const auto outside = changesOutside(changedPixels(a, b), shown, 1.0);
    if (!outside.empty()) {
        faults.push_back(std::to_string(outside.size()) +
                         " pixels changed outside the rectangle, the first at (" +
                         std::to_string(outside[0].x) + ", " + std::to_string(outside[0].y) + ")");
    }
    // Paper inside the rectangle takes the colour; ink stays ink.
    int paper = 0, tinted = 0, ink = 0, inkKept = 0;
    for (int y = int(std::ceil(shown.minY() + 1)); y < int(shown.maxY() - 1); ++y) {
        for (int x = int(std::ceil(shown.minX() + 1)); x < int(shown.maxX() - 1); ++x) {
            const unsigned char* p = a.at(x, y);
            const unsigned char* q = b.at(x, y);
            if (a.luminance(x, y) > 230) {
                ++paper;
                const int change = std::abs(int(p[0]) - int(q[0])) +
                                   std::abs(int(p[1]) - int(q[1])) +
                                   std::abs(int(p[2]) - int(q[2]));
                tinted += change > 24 ? 1 : 0;
            }
            if (a.luminance(x, y) < 80) {
                ++ink;
                inkKept += b.luminance(x, y) < 110 ? 1 : 0;
            }
        }
    }
    if (paper == 0 || double(tinted) / paper < 0.95) {
        faults.push_back("the paper inside the rectangle is hardly tinted (" +
                         std::to_string(tinted) + " of " + std::to_string(paper) + " pixels)");
    }
    if (ink < 20) {
        faults.push_back("the rectangle does not lie over text");
    } else if (double(inkKept) / ink < 0.9) {
        faults.push_back("the text under the rectangle is covered");
    }
    return faults;
}

} // namespace ombrix::testing
