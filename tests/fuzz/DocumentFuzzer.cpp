// libFuzzer target: one input is one PDF file, taken through what the reader does with a
// file it is handed: open, render, text, words, search, annotations, an annotation edit
// and a save that must open again. Built only with -DOMBRIX_FUZZ=ON (clang); run it with
// scripts/fuzz.

#include "core/Color.h"
#include "engine/NativeEngineBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace ombrix;

const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path made = fs::temp_directory_path() / ("ombrix-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(made);
        return made;
    }();
    return folder;
}

void writeInput(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// Bounded work per input: a few pages, small renders.
constexpr int kPages = 3;

void exercise(const fs::path& file) {
    auto document = pdfkit::Document::open(file);
    if (!document) {
        return;
    }
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

    auto page = document->page(0);
    if (!page) {
        return;
    }
    const Rect box = page->mediaBox().standardized();
    auto highlight = pdfkit::Annotation::create(
        Rect{box.x + 10, box.y + 10, std::max(box.width / 4, 1.0), std::max(box.height / 8, 1.0)},
        "Highlight");
    highlight->setColor(Color::rgb(255, 255, 0));
    page->addAnnotation(highlight);

    // A save either fails with the file untouched or leaves a file that opens again with
    // every page: anything else is a finding.
    const fs::path saved = workFolder() / "saved.pdf";
    fs::copy_file(file, saved, fs::copy_options::overwrite_existing);
    bool written = true;
    try {
        document->write(saved);
    } catch (const std::exception&) {
        written = false;
    }
    if (written) {
        auto reopened = pdfkit::Document::open(saved);
        if (!reopened || reopened->pageCount() != document->pageCount()) {
            std::fprintf(stderr, "a save reported success but its file does not open again\n");
            std::abort();
        }
    }
}

void exerciseEngine(const fs::path& file) {
    NativeEngineBridge engine;
    const std::string path = file.string();
    if (engine.pageCount(path) < 1) {
        return;
    }
    (void)engine.extractText(path, 0);
    (void)engine.annotations(path, 0);
    const int pages = engine.pageCount(path);
    if (engine.addAnnotation(path, 0, "Square", Rect{10, 10, 50, 20}, "#ff0000", 200) &&
        engine.pageCount(path) != pages) {
        std::fprintf(stderr, "an edit reported success but its file lost pages\n");
        std::abort();
    }
    if (pages > 1 && engine.deletePage(path, 0) && engine.pageCount(path) != pages - 1) {
        std::fprintf(stderr, "a page deletion reported success but its file does not read\n");
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path input = workFolder() / "input.pdf";
    writeInput(input, data, size);
    exercise(input);
    writeInput(input, data, size);
    exerciseEngine(input);
    return 0;
}
