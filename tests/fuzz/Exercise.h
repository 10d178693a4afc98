#pragma once

// What the reader does with a file it is handed, in a few bounded steps: open, render,
// text, words, search, annotations, an annotation edit, a save that must open again, and
// the same through the path-addressed engine. Shared by the fuzz target and the test
// that replays its findings.

#include "core/Color.h"
#include "engine/NativeEngineBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ResourceLimits.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

namespace ombrix::testing {

// Empty when every promise held; otherwise what broke. `work` is a folder for copies.
inline std::string exerciseFile(const std::filesystem::path& file,
                                const std::filesystem::path& work) {
    namespace fs = std::filesystem;
    constexpr int kPages = 3;
    {
        auto document = pdfkit::Document::open(file);
        if (document) {
            const int pages = std::min(document->pageCount(), kPages);
            for (int i = 0; i < pages; ++i) {
                auto page = document->page(i);
                if (!page) {
                    continue;
                }
                page->draw(64, 64, 0.1);
                (void)page->string();
                (void)page->words();
                (void)page->label();
                for (const auto& annotation : page->annotations()) {
                    (void)annotation->bounds();
                    (void)annotation->contents();
                    (void)annotation->color();
                }
            }
            (void)document->find("the", true);
            if (auto page = document->page(0)) {
                const Rect box = page->mediaBox().standardized();
                auto highlight = pdfkit::Annotation::create(Rect{box.x + 10, box.y + 10,
                                                                 std::max(box.width / 4, 1.0),
                                                                 std::max(box.height / 8, 1.0)},
                                                            "Highlight");
                highlight->setColor(Color::rgb(255, 255, 0));
                page->addAnnotation(highlight);
                // A save either fails with the file untouched or leaves a file that opens
                // again with every page.
                const fs::path saved = work / "saved.pdf";
                std::error_code ec;
                fs::copy_file(file, saved, fs::copy_options::overwrite_existing, ec);
                bool written = !ec;
                try {
                    document->write(saved);
                } catch (const std::exception&) {
                    written = false;
                }
                if (written) {
                    auto reopened = pdfkit::Document::open(saved);
                    if (!reopened || reopened->pageCount() != document->pageCount()) {
                        return "a save reported success but its file does not open as it was";
                    }
                }
            }
        }
    }

    const fs::path copy = work / "engine.pdf";
    std::error_code ec;
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing, ec);
    NativeEngineBridge engine;
    const std::string path = copy.string();
    const int pages = engine.pageCount(path);
    if (ec || pages < 1) {
        return {};
    }
    (void)engine.extractText(path, 0);
    (void)engine.annotations(path, 0);
    if (engine.addAnnotation(path, 0, "Square", Rect{10, 10, 50, 20}, "#ff0000", 200) &&
        engine.pageCount(path) != pages) {
        return "an edit reported success but its file lost pages";
    }
    if (pages > 1 && engine.deletePage(path, 0) && engine.pageCount(path) != pages - 1) {
        return "a page deletion reported success but its file does not read";
    }
    return {};
}

// exerciseFile within the command-line tool's default memory cap (1 GiB) and with a
// deadline of its own for the one file, as `ombrix` has for one command: an input the
// engine would chew on for minutes or gigabytes fails its steps instead. Restores the
// limits it found.
inline std::string exerciseWithinLimits(const std::filesystem::path& file,
                                        const std::filesystem::path& work,
                                        std::chrono::seconds deadline = std::chrono::seconds(10)) {
    const std::size_t cap = pdfkit::memoryLimit();
    pdfkit::setMemoryLimit(std::size_t(1) << 30);
    pdfkit::setDeadline(std::chrono::steady_clock::now() + deadline);
    std::string broken;
    try {
        broken = exerciseFile(file, work);
    } catch (...) {
        pdfkit::setDeadline(std::nullopt);
        pdfkit::setMemoryLimit(cap);
        throw;
    }
    pdfkit::setDeadline(std::nullopt);
    pdfkit::setMemoryLimit(cap);
    return broken;
}

} // namespace ombrix::testing
