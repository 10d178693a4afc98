#include "support/Fixtures.h"

#include "support/FormulaCorpus.h"
#include "support/MuPdfSession.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <mupdf/pdf.h>
#include <regex>
#include <set>
#include <sys/wait.h>

namespace ombrix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// A word of MuPDF's structured text, its box in MuPDF's y-down page space.
struct Word {
    std::string text;
    fz_rect box = fz_empty_rect;
    float baseline = 0;
    std::string font;
};

// A fixture opened with MuPDF alone, read the way the PDF kit will read it.
class Pdf {
public:
    explicit Pdf(const std::filesystem::path& path) {
        std::string file = path.string();
        session_.run("open", [&](fz_context* ctx) { doc_ = pdf_open_document(ctx, file.c_str()); });
    }
    ~Pdf() { pdf_drop_document(session_.ctx(), doc_); }
    Pdf(const Pdf&) = delete;
    Pdf& operator=(const Pdf&) = delete;

    fz_context* ctx() const { return session_.ctx(); }
    pdf_document* doc() const { return doc_; }
    const std::string& warnings() const { return session_.warnings(); }

    template <class Body> void run(Body&& body) {
        session_.run("inspect", [&](fz_context* ctx) { body(ctx, doc_); });
    }

    bool needsPassword() {
        int needs = 0;
        run([&](fz_context* ctx, pdf_document* doc) { needs = pdf_needs_password(ctx, doc); });
        return needs != 0;
    }
    bool authenticate(const std::string& password) {
        int ok = 0;
        run([&](fz_context* ctx, pdf_document* doc) {
            ok = pdf_authenticate_password(ctx, doc, password.c_str());
        });
        return ok != 0;
    }
    int pageCount() {
        int count = 0;
        run([&](fz_context* ctx, pdf_document* doc) { count = pdf_count_pages(ctx, doc); });
        return count;
    }
    pdf_obj* trailer(const char* path) {
        pdf_obj* obj = nullptr;
        run([&](fz_context* ctx, pdf_document* doc) {
            obj = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), path);
        });
        return obj;
    }
    pdf_obj* page(int index, const char* path = nullptr) {
        pdf_obj* obj = nullptr;
        run([&](fz_context* ctx, pdf_document* doc) {
            obj = pdf_lookup_page_obj(ctx, doc, index);
            if (path) {
                obj = pdf_dict_getp(ctx, obj, path);
            }
        });
        return obj;
    }
    std::string text(pdf_obj* obj) {
        std::string out;
        run([&](fz_context* ctx, pdf_document*) { out = pdf_to_text_string(ctx, obj); });
        return out;
    }
    std::string name(pdf_obj* obj) { return pdf_to_name(ctx(), obj); }

    std::string pageText(int index) {
        fz_buffer* buffer = nullptr;
        run([&](fz_context* ctx, pdf_document* doc) {
            fz_stext_page* stext =
                fz_new_stext_page_from_page_number(ctx, &doc->super, index, nullptr);
            fz_try(ctx) {
                buffer = fz_new_buffer_from_stext_page(ctx, stext);
            }
            fz_always(ctx) {
                fz_drop_stext_page(ctx, stext);
            }
            fz_catch(ctx) {
                fz_rethrow(ctx);
            }
        });
        unsigned char* data = nullptr;
        std::size_t size = fz_buffer_storage(ctx(), buffer, &data);
        std::string out(reinterpret_cast<char*>(data), size);
        fz_drop_buffer(ctx(), buffer);
        return out;
    }

    std::vector<std::string> lines(int index) {
        std::vector<std::string> out;
        std::string text = pageText(index);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (end > start) {
                out.push_back(text.substr(start, end - start));
            }
        }
        return out;
    }

    // Words split at spaces and at gaps wider than a space, so table cells stay apart even
    // where MuPDF joins them into one line.
    std::vector<Word> words(int index) {
        fz_stext_page* stext = nullptr;
        run([&](fz_context* ctx, pdf_document* doc) {
            stext = fz_new_stext_page_from_page_number(ctx, &doc->super, index, nullptr);
        });
        std::vector<Word> out;
        for (fz_stext_block* block = stext->first_block; block; block = block->next) {
            if (block->type != FZ_STEXT_BLOCK_TEXT) {
                continue;
            }
            for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
                Word word;
                auto flush = [&] {
                    if (!word.text.empty()) {
                        out.push_back(word);
                    }
                    word = Word{};
                };
                for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                    fz_rect box = fz_rect_from_quad(ch->quad);
                    if (ch->c == ' ' || (!word.text.empty() && box.x0 - word.box.x1 > 4)) {
                        flush();
                    }
                    if (ch->c == ' ') {
                        continue;
                    }
                    char utf8[8];
                    word.text.append(utf8, fz_runetochar(utf8, ch->c));
                    word.box = fz_union_rect(word.box, box);
                    word.baseline = ch->origin.y;
                    word.font = fz_font_name(ctx(), ch->font);
                }
                flush();
            }
        }
        fz_drop_stext_page(ctx(), stext);
        return out;
    }

    // Hits of MuPDF's (case-insensitive) search, in MuPDF's y-down page space.
    std::vector<fz_rect> search(int index, const std::string& needle) {
        fz_quad hits[64];
        int count = 0;
        run([&](fz_context* ctx, pdf_document* doc) {
            fz_page* page = fz_load_page(ctx, &doc->super, index);
            fz_try(ctx) {
                count = fz_search_page(ctx, page, needle.c_str(), nullptr, hits, 64);
            }
            fz_always(ctx) {
                fz_drop_page(ctx, page);
            }
            fz_catch(ctx) {
                fz_rethrow(ctx);
            }
        });
        std::vector<fz_rect> out;
        for (int i = 0; i < count; ++i) {
            out.push_back(fz_rect_from_quad(hits[i]));
        }
        return out;
    }

    fz_rect bounds(int index) {
        fz_rect rect{};
        run([&](fz_context* ctx, pdf_document* doc) {
            fz_page* page = fz_load_page(ctx, &doc->super, index);
            rect = fz_bound_page(ctx, page);
            fz_drop_page(ctx, page);
        });
        return rect;
    }

    std::string contentStream(int index) {
        fz_buffer* buffer = nullptr;
        run([&](fz_context* ctx, pdf_document* doc) {
            buffer = pdf_load_stream(
                ctx, pdf_dict_get(ctx, pdf_lookup_page_obj(ctx, doc, index), PDF_NAME(Contents)));
        });
        unsigned char* data = nullptr;
        std::size_t size = fz_buffer_storage(ctx(), buffer, &data);
        std::string out(reinterpret_cast<char*>(data), size);
        fz_drop_buffer(ctx(), buffer);
        return out;
    }

private:
    MuPdfSession session_;
    pdf_document* doc_ = nullptr;
};

// Whether MuPDF can open the file and count its pages at all.
bool muPdfOpens(const std::filesystem::path& path) {
    try {
        Pdf pdf(path);
        pdf.pageCount();
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int occurrences(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<float> numbers(fz_context* ctx, pdf_obj* array) {
    std::vector<float> out;
    for (int i = 0; i < pdf_array_len(ctx, array); ++i) {
        out.push_back(pdf_to_real(ctx, pdf_array_get(ctx, array, i)));
    }
    return out;
}

// ---- The ready-made documents ----

class FixtureDocumentsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FixtureDocumentsTest, TextDocumentHasNumberedPagesOfSearchableText) {
    Pdf pdf(writePdf(textDocument(), dir / "text.pdf"));
    ASSERT_EQ(pdf.pageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> lines = pdf.lines(i);
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(lines[0], "Page " + std::to_string(i + 1));
        EXPECT_EQ(lines[1], "The alpha release opens every page of the file.");
        EXPECT_EQ(pdf.search(i, "alpha").size(), 2u);
        EXPECT_EQ(pdf.search(i, "beta").size(), 2u);
        EXPECT_EQ(pdf.search(i, "the").size(), 6u);
    }
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Title")), "Ombrix Text Fixture");
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Author")), "Ombrix Tests");
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Subject")), "Searchable text");
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Keywords")), "alpha, beta, fixture");
    EXPECT_EQ(pdf.warnings(), "");

    Pdf longer(writePdf(textDocument(7), dir / "longer.pdf"));
    EXPECT_EQ(longer.pageCount(), 7);
    EXPECT_EQ(longer.lines(6).front(), "Page 7");
}

TEST_F(FixtureDocumentsTest, TextIsDrawnWithNamedStandardFontsTheContentStreamSelects) {
    Pdf pdf(writePdf(textDocument(1), dir / "text.pdf"));
    std::map<std::string, std::string> baseFonts;
    pdf.run([&](fz_context* ctx, pdf_document* doc) {
        pdf_obj* fonts = pdf_dict_getp(ctx, pdf_lookup_page_obj(ctx, doc, 0), "Resources/Font");
        for (int i = 0; i < pdf_dict_len(ctx, fonts); ++i) {
            pdf_obj* font = pdf_dict_get_val(ctx, fonts, i);
            baseFonts[pdf_to_name(ctx, pdf_dict_get_key(ctx, fonts, i))] =
                pdf_to_name(ctx, pdf_dict_get(ctx, font, PDF_NAME(BaseFont)));
        }
    });
    EXPECT_EQ(baseFonts, (std::map<std::string, std::string>{{"F1", "Helvetica-Bold"},
                                                             {"F2", "Helvetica"},
                                                             {"F3", "Helvetica-Oblique"},
                                                             {"F4", "Helvetica-BoldOblique"}}));

    std::string content = pdf.contentStream(0);
    std::regex tf(R"(/(F\d+) ([0-9.]+) Tf)");
    std::vector<std::string> used;
    for (auto it = std::sregex_iterator(content.begin(), content.end(), tf);
         it != std::sregex_iterator(); ++it) {
        used.push_back((*it)[1].str() + " " + (*it)[2].str());
    }
    EXPECT_THAT(used, ElementsAre("F1 18", "F2 12", "F1 12", "F3 12", "F4 12", "F2 12"));
    EXPECT_EQ(occurrences(content, "BT "), 6);
    EXPECT_EQ(occurrences(content, " Tj ET"), 6);

    // MuPDF names each glyph's font after the /BaseFont it substituted.
    std::set<std::string> drawnWith;
    for (const Word& word : pdf.words(0)) {
        drawnWith.insert(word.font);
    }
    EXPECT_EQ(drawnWith, (std::set<std::string>{"Helvetica", "Helvetica-Bold", "Helvetica-Oblique",
                                                "Helvetica-BoldOblique"}));
}

TEST_F(FixtureDocumentsTest, TableDocumentDrawsSixRowsOfFourAlignedColumns) {
    Pdf pdf(writePdf(tableDocument(), dir / "table.pdf"));
    ASSERT_EQ(pdf.pageCount(), 1);
    EXPECT_EQ(pdf.bounds(0).x1, 612);
    EXPECT_EQ(pdf.bounds(0).y1, 792);

    std::map<float, std::vector<Word>> rows; // by baseline, top row first
    for (const Word& word : pdf.words(0)) {
        rows[word.baseline].push_back(word);
    }
    ASSERT_EQ(rows.size(), 6u);
    std::vector<std::vector<Word>> table;
    for (auto& [baseline, row] : rows) {
        std::sort(row.begin(), row.end(),
                  [](const Word& a, const Word& b) { return a.box.x0 < b.box.x0; });
        ASSERT_EQ(row.size(), 4u) << "row at " << baseline;
        table.push_back(row);
    }
    std::vector<std::string> header;
    for (const Word& word : table[0]) {
        header.push_back(word.text);
        EXPECT_EQ(word.font, "Helvetica-Bold");
    }
    EXPECT_THAT(header, ElementsAre("Name", "Qty", "Price", "Total"));
    EXPECT_EQ(table[4][0].text, "Dates");
    EXPECT_EQ(table[4][3].text, "12.40");
    for (std::size_t r = 1; r < table.size(); ++r) {
        for (const Word& word : table[r]) {
            EXPECT_EQ(word.font, "Helvetica") << word.text;
        }
    }
    for (std::size_t r = 1; r < table.size(); ++r) {
        EXPECT_NEAR(table[r][0].box.x0, table[0][0].box.x0, 0.5);
        for (int c = 1; c < 4; ++c) {
            EXPECT_NEAR(table[r][c].box.x1, table[0][c].box.x1, 0.5) << table[r][c].text;
        }
        for (int c = 1; c < 4; ++c) {
            EXPECT_GT(table[r][c].box.x0 - table[r][c - 1].box.x1, 20) << table[r][c].text;
        }
    }
}

TEST_F(FixtureDocumentsTest, RotatedDocumentTurnsEachPage) {
    Pdf pdf(writePdf(rotatedDocument(), dir / "rotated.pdf"));
    ASSERT_EQ(pdf.pageCount(), 4);
    const int rotations[] = {0, 90, 180, 270};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pdf_to_int(pdf.ctx(), pdf.page(i, "Rotate")), rotations[i]);
        fz_rect bounds = pdf.bounds(i);
        bool sideways = rotations[i] % 180 != 0;
        EXPECT_EQ(bounds.x1 - bounds.x0, sideways ? 792 : 612);
        EXPECT_EQ(pdf.lines(i).front(), "Page " + std::to_string(i + 1));
    }
}

TEST_F(FixtureDocumentsTest, LabelledDocumentCarriesTheLabelNumberTree) {
    Pdf pdf(writePdf(labelledDocument(), dir / "labelled.pdf"));
    ASSERT_EQ(pdf.pageCount(), 8);
    pdf_obj* nums = pdf.trailer("Root/PageLabels/Nums");
    fz_context* ctx = pdf.ctx();
    ASSERT_EQ(pdf_array_len(ctx, nums), 6);
    struct Expected {
        int index;
        const char* style;
        const char* prefix;
    };
    const Expected expected[] = {{0, "r", ""}, {4, "D", ""}, {6, "D", "A-"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pdf_to_int(ctx, pdf_array_get(ctx, nums, 2 * i)), expected[i].index);
        pdf_obj* label = pdf_array_get(ctx, nums, 2 * i + 1);
        EXPECT_EQ(pdf.name(pdf_dict_get(ctx, label, PDF_NAME(S))), expected[i].style);
        EXPECT_EQ(pdf.text(pdf_dict_get(ctx, label, PDF_NAME(P))), expected[i].prefix);
        EXPECT_EQ(pdf_to_int(ctx, pdf_dict_gets(ctx, label, "St")), 1);
    }
}

TEST_F(FixtureDocumentsTest, EveryAnnotationDocumentHasOneOfEachSubtypeWithItsProperties) {
    FixtureDocument fixture = everyAnnotationDocument();
    Pdf pdf(writePdf(fixture, dir / "annotations.pdf"));
    fz_context* ctx = pdf.ctx();
    pdf_obj* annots = pdf.page(0, "Annots");

    std::vector<std::string> subtypes;
    std::set<std::string> contents, authors, colors;
    for (int i = 0; i < pdf_array_len(ctx, annots); ++i) {
        pdf_obj* annot = pdf_array_get(ctx, annots, i);
        subtypes.push_back(pdf.name(pdf_dict_get(ctx, annot, PDF_NAME(Subtype))));
        contents.insert(pdf.text(pdf_dict_get(ctx, annot, PDF_NAME(Contents))));
        pdf_obj* color = subtypes.back() == "Widget" ? pdf_dict_getp(ctx, annot, "MK/BC")
                                                     : pdf_dict_get(ctx, annot, PDF_NAME(C));
        std::string key;
        for (float v : numbers(ctx, color)) {
            key += std::to_string(v) + " ";
        }
        colors.insert(key);
        if (subtypes.back() != "Link" && subtypes.back() != "Widget") {
            authors.insert(pdf.text(pdf_dict_get(ctx, annot, PDF_NAME(T))));
        }
    }
    EXPECT_THAT(subtypes, ElementsAre("Highlight", "Underline", "StrikeOut", "Squiggly", "Square",
                                      "Square", "Circle", "Line", "PolyLine", "Polygon", "Ink",
                                      "FreeText", "Text", "Link", "Stamp", "Redact", "Widget"));
    EXPECT_EQ(contents.size(), subtypes.size());
    EXPECT_EQ(colors.size(), subtypes.size());
    EXPECT_EQ(authors.size(), subtypes.size() - 2);

    // MuPDF's own view of them: links and widgets apart from the other annotations.
    std::vector<std::string> annotTypes;
    float bordered = 0, highlightOpacity = 0, freeTextSize = 0;
    fz_rect highlightRect{};
    bool plainSquareHasBorder = true, plainSquareSeen = false;
    int interiorComponents = 0;
    float interior[4] = {};
    std::string fieldValue, fieldName, linkUri;
    pdf.run([&](fz_context* ctx, pdf_document* doc) {
        pdf_page* page = pdf_load_page(ctx, doc, 0);
        fz_link* links = nullptr;
        fz_try(ctx) {
            for (pdf_annot* a = pdf_first_annot(ctx, page); a; a = pdf_next_annot(ctx, a)) {
                enum pdf_annot_type type = pdf_annot_type(ctx, a);
                annotTypes.push_back(pdf_string_from_annot_type(ctx, type));
                pdf_obj* obj = pdf_annot_obj(ctx, a);
                if (type == PDF_ANNOT_SQUARE && pdf_dict_get(ctx, obj, PDF_NAME(BS))) {
                    bordered = pdf_annot_border(ctx, a);
                    pdf_annot_interior_color(ctx, a, &interiorComponents, interior);
                } else if (type == PDF_ANNOT_SQUARE) {
                    plainSquareSeen = true;
                    plainSquareHasBorder = pdf_dict_get(ctx, obj, PDF_NAME(BS)) ||
                                           pdf_dict_get(ctx, obj, PDF_NAME(Border));
                } else if (type == PDF_ANNOT_HIGHLIGHT) {
                    highlightOpacity = pdf_annot_opacity(ctx, a);
                    highlightRect = fz_rect_from_quad(pdf_annot_quad_point(ctx, a, 0));
                } else if (type == PDF_ANNOT_FREE_TEXT) {
                    const char* font = nullptr;
                    int n = 0;
                    float color[4];
                    pdf_annot_default_appearance(ctx, a, &font, &freeTextSize, &n, color);
                }
            }
            pdf_annot* widget = pdf_first_widget(ctx, page);
            fieldValue = pdf_annot_field_value(ctx, widget);
            fieldName =
                pdf_to_text_string(ctx, pdf_dict_get(ctx, pdf_annot_obj(ctx, widget), PDF_NAME(T)));
            links = fz_load_links(ctx, &page->super);
            linkUri = links && !links->next ? links->uri : "";
        }
        fz_always(ctx) {
            fz_drop_link(ctx, links);
            fz_drop_page(ctx, &page->super);
        }
        fz_catch(ctx) {
            fz_rethrow(ctx);
        }
    });
    EXPECT_THAT(annotTypes, ElementsAre("Highlight", "Underline", "StrikeOut", "Squiggly", "Square",
                                        "Square", "Circle", "Line", "PolyLine", "Polygon", "Ink",
                                        "FreeText", "Text", "Stamp", "Redact"));
    EXPECT_EQ(bordered, 3);
    ASSERT_EQ(interiorComponents, 3);
    EXPECT_NEAR(interior[0], 1, 1e-3);
    EXPECT_NEAR(interior[1], 149 / 255.0, 1e-3);
    EXPECT_TRUE(plainSquareSeen);
    EXPECT_FALSE(plainSquareHasBorder);
    EXPECT_NEAR(highlightOpacity, 0.5, 1e-3);
    EXPECT_EQ(freeTextSize, 18);
    EXPECT_EQ(fieldName, "name");
    EXPECT_EQ(fieldValue, "Field value");
    EXPECT_EQ(linkUri, "https://example.com/ombrix");

    // The markup sits on its word.
    std::vector<fz_rect> word = pdf.search(0, "highlighted");
    ASSERT_EQ(word.size(), 1u);
    EXPECT_NEAR(highlightRect.x0, word[0].x0, 0.5);
    EXPECT_NEAR(highlightRect.x1, word[0].x1, 0.5);
    EXPECT_NEAR(highlightRect.y0, word[0].y0, 0.5);
    EXPECT_NEAR(highlightRect.y1, word[0].y1, 0.5);
    EXPECT_EQ(pdf.warnings(), "");
}

TEST_F(FixtureDocumentsTest, PageBreakDocumentSplitsTheSentenceAcrossPages) {
    Pdf pdf(writePdf(pageBreakDocument(), dir / "break.pdf"));
    ASSERT_EQ(pdf.pageCount(), 2);
    std::vector<std::string> first = pdf.lines(0), second = pdf.lines(1);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_THAT(first.back(), ::testing::EndsWith("the quick brown"));
    EXPECT_THAT(second.front(), StartsWith("fox jumps over"));
    EXPECT_TRUE(pdf.search(0, "brown fox").empty());
    EXPECT_TRUE(pdf.search(1, "brown fox").empty());
}

// ---- The awkward files ----

class FixtureFilesTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FixtureFilesTest, EncryptedFileOpensOnlyWithItsUserPassword) {
    writeEncryptedPdf(dir / "locked.pdf");
    Pdf pdf(dir / "locked.pdf");
    EXPECT_TRUE(pdf.needsPassword());
    EXPECT_FALSE(pdf.authenticate(""));
    EXPECT_FALSE(pdf.authenticate("wrong"));
    ASSERT_TRUE(pdf.authenticate("secret"));
    ASSERT_EQ(pdf.pageCount(), 2);
    EXPECT_EQ(pdf.lines(1).front(), "Page 2");
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Title")), "Ombrix Text Fixture");
    EXPECT_EQ(pdf.name(pdf.trailer("Encrypt/CF/StdCF/CFM")), "AESV3");
    EXPECT_THAT(readFile(dir / "locked.pdf"), Not(HasSubstr("alpha")));

    writeEncryptedPdf(dir / "other.pdf", "open sesame");
    Pdf other(dir / "other.pdf");
    EXPECT_FALSE(other.authenticate("secret"));
    EXPECT_TRUE(other.authenticate("open sesame"));
}

TEST_F(FixtureFilesTest, ZeroPageFileHasAnEmptyPageTree) {
    writeZeroPagePdf(dir / "empty.pdf");
    Pdf pdf(dir / "empty.pdf");
    EXPECT_EQ(pdf.pageCount(), 0);
    EXPECT_EQ(pdf_to_int(pdf.ctx(), pdf.trailer("Root/Pages/Count")), 0);
    pdf_obj* kids = pdf.trailer("Root/Pages/Kids");
    ASSERT_TRUE(pdf_is_array(pdf.ctx(), kids));
    EXPECT_EQ(pdf_array_len(pdf.ctx(), kids), 0);
    EXPECT_EQ(pdf.warnings(), "");
}

TEST_F(FixtureFilesTest, BrokenFilesDoNotOpen) {
    writeTextFileNamedPdf(dir / "text.pdf");
    writeGarbagePdf(dir / "garbage.pdf");
    writeTruncatedPdf(dir / "truncated.pdf");
    for (const char* name : {"text.pdf", "garbage.pdf", "truncated.pdf"}) {
        EXPECT_FALSE(muPdfOpens(dir / name)) << name;
    }

    std::string text = readFile(dir / "text.pdf");
    EXPECT_THAT(text, Not(HasSubstr("%PDF")));
    EXPECT_FALSE(text.empty());

    std::string garbage = readFile(dir / "garbage.pdf");
    EXPECT_THAT(garbage, StartsWith("%PDF-1.7\n"));
    EXPECT_GE(garbage.size(), 2048u);
    EXPECT_THAT(garbage, Not(HasSubstr("obj")));
    writeGarbagePdf(dir / "again.pdf");
    EXPECT_EQ(readFile(dir / "again.pdf"), garbage);

    // Exactly the first half of the complete file.
    std::string whole = readFile(writePdf(textDocument(4), dir / "whole.pdf"));
    std::string truncated = readFile(dir / "truncated.pdf");
    ASSERT_TRUE(muPdfOpens(dir / "whole.pdf"));
    EXPECT_EQ(truncated.size(), whole.size() / 2);
    EXPECT_EQ(whole.compare(0, truncated.size(), truncated), 0);
    EXPECT_THAT(truncated, Not(HasSubstr("%%EOF")));
    EXPECT_FALSE(std::filesystem::exists(dir / "truncated.pdf.whole"));
}

// ---- The writer itself ----

class FixtureWriterTest : public ::testing::Test {
protected:
    TempDir dir;

    static TextRun line(std::string text, double x = 72, double y = 720,
                        FontStyle style = FontStyle::regular) {
        TextRun run;
        run.text = std::move(text);
        run.x = x;
        run.y = y;
        run.style = style;
        return run;
    }
    static FixtureAnnotation annotation(std::string subtype, Rect rect,
                                        std::optional<Color> color = std::nullopt) {
        FixtureAnnotation a;
        a.subtype = std::move(subtype);
        a.rect = rect;
        a.color = color;
        return a;
    }

    static FixtureDocument onePage(std::vector<TextRun> runs = {},
                                   std::vector<FixtureAnnotation> annotations = {}) {
        FixturePage page;
        page.runs = std::move(runs);
        page.annotations = std::move(annotations);
        FixtureDocument document;
        document.pages.push_back(std::move(page));
        return document;
    }
};

TEST_F(FixtureWriterTest, EscapedAndWinAnsiTextReadsBackAsWritten) {
    const std::string text = "Costs (net) \\ 5 \xE2\x82\xAC \xE2\x80\x94 caf\xC3\xA9 ((x)";
    Pdf pdf(writePdf(onePage({line(text, 72, 700, FontStyle::mono)}), dir / "t.pdf"));
    EXPECT_THAT(pdf.lines(0), ElementsAre(text));
    EXPECT_EQ(pdf.name(pdf.page(0, "Resources/Font/F1/BaseFont")), "Courier");
    EXPECT_EQ(pdf.warnings(), "");
}

TEST_F(FixtureWriterTest, RefusesTextOutsideWinAnsi) {
    EXPECT_THROW(writePdf(onePage({line("\xE6\x97\xA5\xE6\x9C\xAC")}), dir / "cjk.pdf"),
                 std::invalid_argument);
    EXPECT_THROW(writePdf(onePage({line("bad \xC3")}), dir / "broken.pdf"), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(dir / "cjk.pdf"));
    EXPECT_THROW(textWidth("\xE2\x98\x83", FontStyle::regular, 12), std::invalid_argument);
}

TEST_F(FixtureWriterTest, PagesKeepTheirSizeAndRotation) {
    FixtureDocument document = onePage({line("Small", 20, 250)});
    document.pages[0].width = 400;
    document.pages[0].height = 300;
    document.pages[0].rotation = 90;
    document.pages.push_back(FixturePage{});
    Pdf pdf(writePdf(document, dir / "sizes.pdf"));
    ASSERT_EQ(pdf.pageCount(), 2);
    EXPECT_THAT(numbers(pdf.ctx(), pdf.page(0, "MediaBox")), ElementsAre(0, 0, 400, 300));
    EXPECT_EQ(pdf_to_int(pdf.ctx(), pdf.page(0, "Rotate")), 90);
    EXPECT_THAT(numbers(pdf.ctx(), pdf.page(1, "MediaBox")), ElementsAre(0, 0, 612, 792));
    EXPECT_EQ(pdf.pageText(1), "");
    EXPECT_EQ(pdf_dict_len(pdf.ctx(), pdf.page(1, "Resources/Font")), 0);
}

TEST_F(FixtureWriterTest, AnnotationsCarryOnlyTheEntriesAsked) {
    FixtureAnnotation bare = annotation("Square", Rect{100, 100, 50, 40});
    FixtureAnnotation clear = annotation("Circle", Rect{200, 100, 50, 40}, SystemColors::clear);
    FixtureAnnotation faint =
        annotation("Ink", Rect{300, 100, 50, 40}, SystemColors::red.withAlpha(0.25));
    FixtureAnnotation fontless =
        annotation("FreeText", Rect{100, 200, 150, 30}, SystemColors::blue);
    fontless.contents = "no font";
    FixtureAnnotation sized = fontless;
    sized.fontSize = 9.5;
    FixtureAnnotation internal = annotation("Link", Rect{100, 300, 100, 20});
    Pdf pdf(writePdf(onePage({}, {bare, clear, faint, fontless, sized, internal}), dir / "a.pdf"));
    fz_context* ctx = pdf.ctx();
    pdf_obj* annots = pdf.page(0, "Annots");
    ASSERT_EQ(pdf_array_len(ctx, annots), 6);
    auto annot = [&](int i) { return pdf_array_get(ctx, annots, i); };
    auto keys = [&](int i) {
        std::set<std::string> out;
        for (int k = 0; k < pdf_dict_len(ctx, annot(i)); ++k) {
            out.insert(pdf_to_name(ctx, pdf_dict_get_key(ctx, annot(i), k)));
        }
        return out;
    };

    EXPECT_EQ(keys(0), (std::set<std::string>{"Type", "Subtype", "Rect", "F", "P"}));
    EXPECT_THAT(numbers(ctx, pdf_dict_get(ctx, annot(0), PDF_NAME(Rect))),
                ElementsAre(100, 100, 150, 140));
    EXPECT_EQ(pdf_array_len(ctx, pdf_dict_get(ctx, annot(1), PDF_NAME(C))), 0);
    EXPECT_FALSE(keys(1).count("CA"));
    EXPECT_NEAR(pdf_to_real(ctx, pdf_dict_get(ctx, annot(2), PDF_NAME(CA))), 0.25, 1e-6);
    EXPECT_TRUE(keys(2).count("InkList"));
    std::string da = pdf.text(pdf_dict_get(ctx, annot(3), PDF_NAME(DA)));
    EXPECT_THAT(da, Not(HasSubstr("Tf")));
    EXPECT_EQ(pdf.text(pdf_dict_get(ctx, annot(4), PDF_NAME(DA))), "/Helv 9.5 Tf 0 g");
    EXPECT_FALSE(keys(3).count("BS") || keys(3).count("Border"));
    pdf_obj* dest = pdf_dict_get(ctx, annot(5), PDF_NAME(Dest));
    EXPECT_EQ(pdf_to_num(ctx, pdf_array_get(ctx, dest, 0)), pdf_to_num(ctx, pdf.page(0)));
    EXPECT_FALSE(keys(5).count("A"));
    EXPECT_EQ(pdf.trailer("Root/AcroForm"), nullptr);
}

TEST_F(FixtureWriterTest, InfoAndLabelsAreWrittenAsGiven) {
    FixtureDocument document = onePage();
    document.pages.resize(3);
    document.title = "\xC3\x9C"
                     "ber Caf\xC3\xA9";
    document.keywords = "one";
    document.pageLabels = {PageLabelRange{2, 'A', "App-", 3},
                           PageLabelRange{0, std::nullopt, "Cover", 1}};
    Pdf pdf(writePdf(document, dir / "info.pdf"));
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Title")), "\xC3\x9C"
                                                   "ber Caf\xC3\xA9");
    EXPECT_EQ(pdf.text(pdf.trailer("Info/Keywords")), "one");
    EXPECT_EQ(pdf.trailer("Info/Author"), nullptr);
    EXPECT_EQ(pdf.trailer("Info/Subject"), nullptr);

    fz_context* ctx = pdf.ctx();
    pdf_obj* nums = pdf.trailer("Root/PageLabels/Nums");
    ASSERT_EQ(pdf_array_len(ctx, nums), 4);
    EXPECT_EQ(pdf_to_int(ctx, pdf_array_get(ctx, nums, 0)), 0);
    pdf_obj* cover = pdf_array_get(ctx, nums, 1);
    EXPECT_EQ(pdf_dict_get(ctx, cover, PDF_NAME(S)), nullptr);
    EXPECT_EQ(pdf.text(pdf_dict_get(ctx, cover, PDF_NAME(P))), "Cover");
    EXPECT_EQ(pdf_to_int(ctx, pdf_array_get(ctx, nums, 2)), 2);
    pdf_obj* appendix = pdf_array_get(ctx, nums, 3);
    EXPECT_EQ(pdf.name(pdf_dict_get(ctx, appendix, PDF_NAME(S))), "A");
    EXPECT_EQ(pdf_to_int(ctx, pdf_dict_gets(ctx, appendix, "St")), 3);

    Pdf plain(writePdf(onePage(), dir / "plain.pdf"));
    EXPECT_EQ(plain.trailer("Info"), nullptr);
    EXPECT_EQ(plain.trailer("Root/PageLabels"), nullptr);
}

TEST_F(FixtureWriterTest, FailuresBecomeExceptionsWithMuPdfsMessage) {
    try {
        writePdf(textDocument(1), dir / "missing" / "dir" / "x.pdf");
        FAIL() << "wrote into a missing directory";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("cannot"));
        EXPECT_THAT(error.what(), HasSubstr("x.pdf"));
    }
    FixtureDocument locked = textDocument(1);
    locked.userPassword = "";
    EXPECT_THROW(writePdf(locked, dir / "empty-password.pdf"), std::invalid_argument);
    locked.userPassword = std::string(200, 'p');
    EXPECT_THROW(writePdf(locked, dir / "long-password.pdf"), std::invalid_argument);
}

TEST_F(FixtureWriterTest, TextBoundsMatchWhereMuPdfFindsTheWords) {
    FixtureDocument document = textDocument(1);
    Pdf pdf(writePdf(document, dir / "t.pdf"));
    const TextRun& run = document.pages[0].runs[3]; // "Search finds alpha and beta ..."
    for (const char* word : {"Search", "alpha", "beta"}) {
        Rect expected = textBounds(run, word);
        std::vector<fz_rect> hits = pdf.search(0, word);
        auto hit = std::find_if(hits.begin(), hits.end(), [&](const fz_rect& r) {
            return std::abs((792 - r.y1) - expected.minY()) < 1;
        });
        ASSERT_NE(hit, hits.end()) << word;
        EXPECT_NEAR(hit->x0, expected.minX(), 0.5) << word;
        EXPECT_NEAR(hit->x1, expected.maxX(), 0.5) << word;
        EXPECT_NEAR(792 - hit->y0, expected.maxY(), 0.5) << word;
    }
    Rect line = textBounds(run);
    EXPECT_EQ(line.minX(), run.x);
    EXPECT_NEAR(line.width, textWidth(run.text, run.style, run.size), 1e-9);
    EXPECT_LT(line.minY(), run.y);
    EXPECT_GT(line.maxY(), run.y + run.size / 2);
    EXPECT_THROW(textBounds(run, "gamma"), std::invalid_argument);
}

// ---- The reference tools agree ----

struct ToolResult {
    int status = -1;
    std::string output; // stdout and stderr together
};

ToolResult runTool(const std::string& command) {
    ToolResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.output.append(buffer, n);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

TEST(FixtureToolsTest, MutoolAndPopplerReadEveryFixtureWithoutComplaint) {
    TempDir dir;
    struct Case {
        const char* name;
        FixtureDocument document;
        const char* text;
    };
    const Case cases[] = {
        {"text.pdf", textDocument(), "Search finds alpha and beta on each page."},
        {"table.pdf", tableDocument(), "Cheese"},
        {"rotated.pdf", rotatedDocument(), "rotated by 270 degrees"},
        {"labelled.pdf", labelledDocument(), "Page 8"},
        {"annotations.pdf", everyAnnotationDocument(), "The squiggly words"},
        {"break.pdf", pageBreakDocument(), "fox jumps over"},
    };
    for (const Case& c : cases) {
        std::string file = quoted(writePdf(c.document, dir / c.name));
        std::string png = quoted(dir / "render");
        for (const std::string& command :
             {"mutool info " + file, "mutool show " + file + " trailer/Info", "pdfinfo " + file,
              "pdffonts " + file, "pdftotext " + file + " -",
              "pdftoppm -r 20 -png " + file + " " + png}) {
            ToolResult result = runTool(command);
            EXPECT_EQ(result.status, 0) << command << "\n" << result.output;
            EXPECT_THAT(lower(result.output), Not(HasSubstr("warning"))) << command;
            EXPECT_THAT(lower(result.output), Not(HasSubstr("error"))) << command;
        }
        EXPECT_THAT(runTool("pdftotext " + file + " -").output, HasSubstr(c.text)) << c.name;
    }

    EXPECT_THAT(runTool("pdffonts " + quoted(dir / "text.pdf")).output,
                HasSubstr("Helvetica-BoldOblique"));
    EXPECT_THAT(runTool("pdfinfo " + quoted(dir / "text.pdf")).output,
                HasSubstr("Ombrix Text Fixture"));
    EXPECT_THAT(
        runTool("mutool show " + quoted(dir / "labelled.pdf") + " trailer/Root/PageLabels").output,
        HasSubstr("(A-)"));
    EXPECT_THAT(runTool("pdfinfo -url " + quoted(dir / "annotations.pdf")).output,
                HasSubstr("https://example.com/ombrix"));
    ToolResult rotations = runTool("pdfinfo -f 1 -l 4 " + quoted(dir / "rotated.pdf"));
    EXPECT_THAT(rotations.output, HasSubstr("Page    4 rot:   270"));
}

TEST(FixtureToolsTest, ReferenceToolsNeedThePasswordOfTheEncryptedFile) {
    TempDir dir;
    writeEncryptedPdf(dir / "locked.pdf");
    std::string file = quoted(dir / "locked.pdf");
    EXPECT_NE(runTool("pdfinfo " + file).status, 0);
    EXPECT_NE(runTool("mutool info " + file).status, 0);

    ToolResult info = runTool("pdfinfo -upw secret " + file);
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_THAT(info.output, HasSubstr("AES-256"));
    ToolResult text = runTool("pdftotext -upw secret " + file + " -");
    EXPECT_EQ(text.status, 0);
    EXPECT_THAT(text.output, HasSubstr("Readers mark the beta chapters"));
    EXPECT_THAT(lower(text.output), Not(HasSubstr("error")));
    ToolResult mutool = runTool("mutool info -p secret " + file);
    EXPECT_EQ(mutool.status, 0);
    EXPECT_THAT(lower(mutool.output), Not(HasSubstr("warning")));
}

} // namespace
} // namespace ombrix::testing

// The benchmark's exact match: spellings that typeset the same compare equal, and what
// typesets differently does not.
TEST(FormulaCorpusTest, NormalisedLatexComparesWhatTypesetsTheSame) {
    using ombrix::testing::normaliseLatex;
    EXPECT_EQ(normaliseLatex("x^2_i"), normaliseLatex("x_{i}^{2}"));
    EXPECT_EQ(normaliseLatex("\\left( a \\right)"), normaliseLatex("(a)"));
    EXPECT_EQ(normaliseLatex("\\bigl[ a \\bigr]"), normaliseLatex("[a]"));
    EXPECT_EQ(normaliseLatex("\\begin{pmatrix} a & b \\end{pmatrix}"),
              normaliseLatex("\\left(\\begin{matrix} a & b \\end{matrix}\\right)"));
    EXPECT_EQ(normaliseLatex("a \\le b \\, c"), normaliseLatex("a\\leq bc"));
    EXPECT_EQ(normaliseLatex("f^{\\prime}"), normaliseLatex("f'"));
    EXPECT_EQ(normaliseLatex("\\alpha x"), "\\alpha x");
    EXPECT_NE(normaliseLatex("x^2"), normaliseLatex("x_2"));
    EXPECT_NE(normaliseLatex("\\frac{a}{b}"), normaliseLatex("\\frac{b}{a}"));
    EXPECT_NE(normaliseLatex("x^{ab}"), normaliseLatex("x^ab"));
    // The corpus lists the formulas each PDF holds, one per page.
    EXPECT_EQ(ombrix::testing::corpusFormulas("pdflatex-cm").size(), 110u);
    EXPECT_EQ(ombrix::testing::corpusFormulas("libreoffice-math").size(), 20u);
}
