// Text that came from a file or a server and is shown as HTML, Markdown or on a terminal:
// stored table results, MathML, the Markdown digest, the formula server's answers.
#include "core/Error.h"
#include "core/UnicodeText.h"
#include "document/PDFKitBridge.h"
#include "extraction/HighlightExtractor.h"
#include "extraction/MathMLMarkup.h"
#include "extraction/MathOCRExtractor.h"
#include "extraction/TableLayout.h"
#include "extraction/TableMarkup.h"
#include "pdfkit/Document.h"
#include "support/Fixtures.h"
#include "support/FormulaServer.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <future>
#include <gtest/gtest.h>
#include <httplib.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

// What a stored result is made of by someone who wants the card to do more than show it.
const std::string kHostileTable =
    "<html><head><style>body{display:none}</style><title>T</title>"
    "<meta http-equiv=\"refresh\" content=\"0;url=https://example.invalid/\"></head><body>"
    "<style>.card{background:url(https://example.invalid/x.png)}</style>"
    "<meta http-equiv=\"refresh\" content=\"0\">"
    "<script>document.title='owned'</script>"
    "<table style=\"border-collapse: collapse; width: 100%;\" onmouseover=\"alert(1)\">"
    "<caption>caption text</caption><colgroup><col span=\"2\"></colgroup>"
    "<tr onclick=\"alert(2)\"><th style=\"background:url(https://example.invalid/h)\" "
    "colspan=\"2 onmouseover=alert(3)\">Name</th>"
    "<td colspan=\"3\" style=\"border:1px solid #ddd;padding:8px;\">"
    "<a href=\"javascript:alert(4)\">link text</a><img src=\"/dev/zero\" onerror=\"alert(5)\">"
    "<b onclick=\"x\">bold</b> <span style=\"font-family: 'A'; background: url(x)', "
    "sans-serif;\">spanned</span> <svg><script>alert(6)</script><text>svg text</text></svg>"
    "<iframe src=\"https://example.invalid/\">frame</iframe><!-- a comment -->"
    "<table><tr><td>inner</td></tr></table></td></tr></table>"
    "<form action=\"https://example.invalid/\"><input value=\"v\"><textarea>ta</textarea>"
    "</form><p>after</p></body></html>";

std::vector<FormattedWord> words(std::initializer_list<FormattedWord> list) {
    return list;
}

TableGrid writerGrid() {
    const FormattedWord plain{"Price<&>\"'", {}, false, false, std::nullopt};
    const FormattedWord bold{"Total", {}, true, false, std::string("Helvetica")};
    const FormattedWord both{"x", {}, true, true, std::string("Times New Roman")};
    const FormattedWord italic{"y", {}, false, true, std::string("sans-serif")};
    TableGrid grid;
    grid.columns = 2;
    grid.rows.push_back({{TableCell{words({plain, bold}), 2}}, true});
    grid.rows.push_back({{TableCell{words({bold}), 1}, TableCell{words({both, italic}), 1}}, true});
    grid.rows.push_back({{TableCell{{}, 1}, TableCell{words({plain}), 1}}, false});
    return grid;
}

std::exception_ptr errorIn(const MathOCROutcome& outcome) {
    const auto* error = std::get_if<std::exception_ptr>(&outcome);
    return error ? *error : nullptr;
}

Error mathErrorOf(const MathOCROutcome& outcome) {
    try {
        if (auto e = errorIn(outcome)) {
            std::rethrow_exception(e);
        }
    } catch (const Error& e) {
        return e;
    } catch (const std::exception& e) {
        return Error("foreign", -1, e.what());
    }
    return Error("none", -1, "succeeded");
}

Image ink() {
    std::vector<std::uint8_t> rgba(8 * 4 * 4, 255);
    for (int i = 0; i < 8 * 4; i += 3) {
        rgba[i * 4] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 0;
    }
    return Image(8, 4, std::move(rgba));
}

MathOCROutcome ask(const std::string& url) {
    MathOCRExtractor client(url, std::chrono::seconds(30));
    std::promise<MathOCROutcome> done;
    auto answer = done.get_future();
    client.extractMath(ink(), [&done](MathOCROutcome o) { done.set_value(std::move(o)); });
    return answer.get();
}

// Nothing a terminal acts on: no C0 or C1 control, no DEL.
bool printable(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            return false;
        }
    }
    return true;
}

// Code points of UTF-8 text.
std::size_t characters(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

} // namespace

TEST(StoredTableHardeningTest, OurOwnTablesComeBackUnchanged) {
    const std::string html = table::toHTML(writerGrid());
    ASSERT_NE(html.find("colspan=\"2\""), std::string::npos) << html;
    ASSERT_NE(html.find("<span style=\"font-family: 'Times New Roman', sans-serif;\">"),
              std::string::npos)
        << html;
    EXPECT_EQ(table::sanitizeHTML(html), html);
    // And the table the earliest files hold, without styles.
    const std::string bare = "<table><tr><td>1</td></tr></table>";
    EXPECT_EQ(table::sanitizeHTML(bare), bare);
}

TEST(StoredTableHardeningTest, HostileMarkupKeepsOnlyTheTableAndItsText) {
    const std::string safe = table::sanitizeHTML(kHostileTable);
    for (const char* gone :
         {"<style", "<meta",  "<script",    "<img",     "<a ",          "<svg",  "<iframe",
          "<form",  "<input", "<textarea",  "<caption", "<col",         "<p>",   "<!--",
          "on",     "url(",   "javascript", "refresh",  "display:none", "alert", "example.invalid",
          "owned",  "<title"}) {
        // "on" as an attribute: no element may carry an event handler.
        if (std::string(gone) == "on") {
            EXPECT_EQ(safe.find(" on"), std::string::npos) << safe;
            continue;
        }
        EXPECT_EQ(safe.find(gone), std::string::npos) << gone << "\n" << safe;
    }
    // The table, its cells and every reader's text stay.
    EXPECT_TRUE(safe.starts_with("<table style=\"border-collapse: collapse; width: 100%;\">"))
        << safe;
    for (const char* kept : {"<tr><th>Name</th>",
                             "<td colspan=\"3\" style=\"border:1px solid "
                             "#ddd;padding:8px;\">",
                             "link text", "<b>bold</b>", "spanned", "inner", "after"}) {
        EXPECT_NE(safe.find(kept), std::string::npos) << kept << "\n" << safe;
    }
    EXPECT_EQ(safe.find("<table", 1), std::string::npos) << "one level of table only\n" << safe;
    // What the card shows is stable: sanitising again changes nothing.
    EXPECT_EQ(table::sanitizeHTML(safe), safe);

    // The plain-text copy of it holds the cells' text, not the markup's.
    const std::string tsv = table::tabSeparatedFromHTML(safe);
    EXPECT_EQ(tsv.find('<'), std::string::npos) << tsv;
    EXPECT_EQ(tsv, "Name\tlink textbold spanned inner\t\t\n");
    // An entity for a tab or line feed becomes a space there, never a cell or row break.
    EXPECT_EQ(table::tabSeparatedFromHTML(
                  table::sanitizeHTML("<table><tr><td>a&#9;b&#10;c</td><td>d</td></tr></table>")),
              "a b c\td\n");
}

TEST(StoredTableHardeningTest, AFontNameFromThePDFCannotLeaveItsStyle) {
    // resolveFont keeps whatever a PDF's BaseFont holds after its subset tag.
    const FormattedWord word{
        "w", {}, false, false, std::string("Evil'; background: url(https://example.invalid/) '")};
    const std::string cell = table::cellHTML({word});
    const std::string prefix = "<span style=\"font-family: '";
    ASSERT_TRUE(cell.starts_with(prefix)) << cell;
    const auto close = cell.find("', sans-serif;\">");
    ASSERT_NE(close, std::string::npos) << cell;
    // Between the quotes of the family nothing ends the quoted name: neither a quote
    // (written as &#39;, which the HTML parser gives back as a quote) nor a backslash.
    const std::string family = cell.substr(prefix.size(), close - prefix.size());
    EXPECT_EQ(family.find("&#39;"), std::string::npos) << cell;
    EXPECT_EQ(family.find('\''), std::string::npos) << cell;
    EXPECT_EQ(family.find('\\'), std::string::npos) << cell;
    // And the sanitiser keeps that span as it is.
    const std::string html = "<table><tr><td>" + cell + "</td></tr></table>";
    EXPECT_EQ(table::sanitizeHTML(html), html);
}

TEST(StoredTableHardeningTest, DeepOrHugeMarkupEndsQuicklyWithoutCrashing) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<div>";
    }
    deep += "<table><tr><td>x</td></tr></table>";
    const std::string safe = table::sanitizeHTML(deep);
    EXPECT_EQ(safe.find("<div"), std::string::npos);
    // Past the depth any table of ours has, the content goes.
    EXPECT_EQ(safe.find("<table"), std::string::npos);

    // Start tags the parser closes itself, or hidden in comments, count as open: refused.
    std::string unclosed;
    for (int i = 0; i < 1000; ++i) {
        unclosed += "<p>x";
    }
    EXPECT_EQ(table::sanitizeHTML(unclosed), "");

    const std::string huge =
        "<table><tr><td>" + std::string(table::kMaxStoredHTML, 'x') + "</td></tr></table>";
    EXPECT_EQ(table::sanitizeHTML(huge), "");
    // A big table of ours below the limit is shown whole.
    TableGrid grid = writerGrid();
    const std::size_t perRow = table::toHTML(grid).size() / grid.rows.size() + 1;
    grid.rows.resize(table::kMaxStoredHTML / perRow * 6 / 10, grid.rows[1]);
    const std::string big = table::toHTML(grid);
    ASSERT_LT(big.size(), table::kMaxStoredHTML);
    EXPECT_EQ(table::sanitizeHTML(big), big);
}

TEST(MathMLHardeningTest, PresentationMathMLPassesAsItIs) {
    const std::string mathml =
        "<math display=\"block\"><mrow><mfrac linethickness=\"0.1em\"><mi>a</mi><mn>2</mn>"
        "</mfrac><mo stretchy=\"false\" form=\"prefix\">(</mo><msup><mi "
        "mathvariant=\"bold\">x</mi><mn>2</mn></msup><mo>&lt;</mo><mtext>&amp; so</mtext>"
        "<mfenced open=\"[\" close=\"]\"><mi mathcolor=\"#c00\">y</mi></mfenced>"
        "<mtable columnalign=\"left center\"><mtr><mtd><mspace width=\"1em\"></mspace></mtd>"
        "</mtr></mtable></mrow><annotation encoding=\"application/x-tex\">a/2</annotation>"
        "</math>";
    EXPECT_EQ(mathml::sanitize(mathml), mathml);
    // In the MathML namespace, prefixed or not, the same.
    EXPECT_EQ(mathml::sanitize("<m:math xmlns:m=\"http://www.w3.org/1998/Math/MathML\">"
                               "<m:mi>x</m:mi></m:math>"),
              "<math><mi>x</mi></math>");
    EXPECT_EQ(mathml::sanitize("<math xmlns=\"http://www.w3.org/1998/Math/MathML\"><mi>x</mi>"
                               "</math>"),
              "<math><mi>x</mi></math>");
}

TEST(MathMLHardeningTest, ScriptURLsStylesAndForeignElementsAreDropped) {
    const std::string hostile =
        "<math xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:h=\"http://www.w3.org/1999/xhtml\" onload=\"alert(0)\">"
        "<mi href=\"javascript:alert(1)\" onclick=\"alert(2)\" "
        "style=\"background:url(https://example.invalid/a)\" class=\"c\" id=\"i\" "
        "xlink:href=\"https://example.invalid/b\" mathcolor=\"red\" "
        "mathbackground=\"url(https://example.invalid/c)\" "
        "mathsize=\"1em;background:url(x)\">x</mi>"
        "<mtext>&lt;img src=x onerror=alert(3)&gt;</mtext>"
        "<mtext><h:img src=\"x\" onerror=\"alert(4)\"/>after img</mtext>"
        "<maction actiontype=\"statusline\"><mi>y</mi><mtext>status</mtext></maction>"
        "<semantics><mi>z</mi><annotation-xml encoding=\"text/html\">"
        "<h:script>alert(5)</h:script></annotation-xml></semantics>"
        "<mglyph src=\"https://example.invalid/d.png\"/><h:script>alert(6)</h:script>"
        "<script>alert(7)</script><mstyle style=\"x\" displaystyle=\"true\"><mi>w</mi></mstyle>"
        "<malignmark/><![CDATA[<b>cdata</b>]]><?pi data?><!-- comment --></math>";
    const auto safe = mathml::sanitize(hostile);
    ASSERT_TRUE(safe);
    EXPECT_EQ(*safe, "<math><mi mathcolor=\"red\">x</mi>"
                     "<mtext>&lt;img src=x onerror=alert(3)&gt;</mtext>"
                     "<mtext>after img</mtext><semantics><mi>z</mi></semantics>"
                     "<mstyle displaystyle=\"true\"><mi>w</mi></mstyle>&lt;b&gt;cdata&lt;/b&gt;"
                     "</math>");
}

TEST(MathMLHardeningTest, WhatIsNotPlainMathMLIsRefusedWhole) {
    for (const std::string& bad : {
             std::string("<math><mi>x</math>"),                   // not well-formed
             std::string("<html><math><mi>x</mi></math></html>"), // root is not math
             std::string("<svg><mi>x</mi></svg>"),                // nor this
             std::string("<math><mi>&nbsp;</mi></math>"),         // an HTML entity
             std::string("<?xml version=\"1.0\"?><!DOCTYPE math [<!ENTITY a \"aaaaaaaa\">"
                         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]><math><mi>&b;</mi></math>"),
             std::string("just text"),
             std::string(),
         }) {
        EXPECT_FALSE(mathml::sanitize(bad)) << bad;
    }
    std::string deep = "<math>";
    for (int i = 0; i < 1000; ++i) {
        deep += "<mrow>";
    }
    EXPECT_FALSE(mathml::sanitize(deep + "</math>"));
}

TEST(FormulaPageHardeningTest, ServerMathMLIsFilteredAndLatexStaysText) {
    const std::string bundle = "ombrix-mathjax://mathjax/es5/tex-mml-chtml.js";
    const std::string hostile = "<math><mi href=\"javascript:alert(1)\">x</mi></math>"
                                "<img src=x onerror=alert(2)><script>alert(3)</script>";
    // Trailing content after the root is not well-formed: the LaTeX is shown instead.
    const std::string fallback = formulaPage("a<b", hostile, bundle);
    EXPECT_EQ(fallback.find("onerror"), std::string::npos);
    EXPECT_EQ(fallback.find("alert"), std::string::npos);
    EXPECT_NE(fallback.find("\\[ a&lt;b \\]"), std::string::npos);

    const std::string page =
        formulaPage("x",
                    "<math><mi href=\"javascript:alert(1)\" onclick=\"alert(2)\">x</mi>"
                    "<mtext><img xmlns=\"http://www.w3.org/1999/xhtml\" src=\"x\"/></mtext>"
                    "</math>",
                    bundle);
    EXPECT_NE(page.find("<math><mi>x</mi><mtext></mtext></math>"), std::string::npos) << page;
    EXPECT_EQ(page.find("alert"), std::string::npos);
    // MathJax only from the given copy, behind a policy that lets nothing else run or load,
    // with its filter of links and styles on.
    EXPECT_NE(page.find("src=\"" + bundle + "\""), std::string::npos);
    EXPECT_EQ(page.find("http://"), std::string::npos);
    EXPECT_EQ(page.find("https://"), std::string::npos);
    EXPECT_NE(page.find("http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'"),
              std::string::npos);
    EXPECT_NE(page.find("load: ['ui/safe']"), std::string::npos);
}

TEST(FormulaPageHardeningTest, WithoutALocalMathJaxNothingRunsOrLoads) {
    const std::string latex = "\\frac{a}{b} </pre><script>alert(1)</script> \\href{x}{y}";
    const std::string page = formulaPage(latex, "<math><mi>x</mi></math>", std::nullopt);
    EXPECT_EQ(page.find("<script"), std::string::npos) << page;
    EXPECT_EQ(page.find("http://"), std::string::npos);
    EXPECT_EQ(page.find("https://"), std::string::npos);
    EXPECT_NE(page.find("script-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("<pre class=\"latex\">\\frac{a}{b} &lt;/pre&gt;&lt;script&gt;alert(1)"
                        "&lt;/script&gt; \\href{x}{y}</pre>"),
              std::string::npos)
        << page;
}

TEST(DigestHardeningTest, CommentsTextAndResultsCarryNoRawHTML) {
    TempDir dir;
    const TextRun hostileText{"a <b>bold</b> & <i>x</i>", 72, 700};
    const TextRun second{"second line", 72, 650};
    const TextRun third{"third line", 72, 600};
    FixtureDocument doc;
    doc.pages.resize(1);
    doc.pages[0].runs = {hostileText, second, third};
    doc.pages[0].annotations = {
        annotationOf("Highlight", textBounds(hostileText), Color{1, 0, 0, 1},
                     "<img src=x onerror=alert(1)> & <script>alert(2)</script>"),
        annotationOf("Highlight", textBounds(second), Color{0, 0, 1, 1}, kHostileTable),
        annotationOf("Highlight", textBounds(third), Color{0, 1, 0, 1},
                     "\\(a<b\\)<img src=x onerror=alert(3)>"),
    };
    const auto file = writePdf(doc, dir / "Notes <img src=x>.pdf");
    auto document = pdfkit::Document::open(file);
    ASSERT_TRUE(document);
    const auto digest = HighlightExtractor::markdownDigest(
        HighlightExtractor::collectDocumentHighlights(*document), file.stem().string());

    for (const char* gone : {"<img", "<script", "<b>bold</b> &", "<i>", "<style", "<meta"}) {
        EXPECT_EQ(digest.find(gone), std::string::npos) << gone << "\n" << digest;
    }
    // The digest's layout stays; the characters read as they were.
    EXPECT_TRUE(digest.starts_with("# Highlights from Notes &lt;img src=x&gt;\n\n## Page 1\n\n"))
        << digest;
    EXPECT_NE(digest.find("> [!#FF0000] Highlight\n> a &lt;b&gt;bold&lt;/b&gt; &amp; "
                          "&lt;i&gt;x&lt;/i&gt;\n> \n> **Comment:** &lt;img src=x "
                          "onerror=alert(1)&gt; &amp; &lt;script&gt;alert(2)&lt;/script&gt;\n\n"),
              std::string::npos)
        << digest;
    EXPECT_NE(digest.find("> \n> **Result:** " + table::sanitizeHTML(kHostileTable) + "\n\n"),
              std::string::npos)
        << digest;
    EXPECT_NE(digest.find("> **Result:** \\(a&lt;b\\)&lt;img src=x onerror=alert(3)&gt;\n"),
              std::string::npos)
        << digest;

    // The command line prints the same digest.
    const auto cli =
        runShell(shellQuoted(OMBRIX_CLI_PATH) + " highlights " + shellQuoted(file.string()));
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.out.find("<img"), std::string::npos) << cli.out;
    EXPECT_EQ(cli.out.find("<script"), std::string::npos) << cli.out;
}

TEST(FormulaClientHardeningTest, ServerMessagesAreCutAndLoseTheirControls) {
    FormulaServer server;
    const std::string esc = "\x1b]0;owned\x07\x1b[2J\x1b[3J\x1b"
                            "c";
    const std::string c1 = "\xc2\x9b"
                           "31m";
    const std::string longText(5000, 'y');
    struct Case {
        std::string body;
        int code;
        std::string starts;
    };
    const nlohmann::json message = {{"message", esc + "model " + c1 + "not\nloaded " + longText}};
    const nlohmann::json detail = {{"detail", {{{"msg", esc + "field\trequired " + longText}}}}};
    const nlohmann::json array = nlohmann::json::array({esc + longText});
    for (const Case& c : {Case{message.dump(), MathOCRExtractor::kServerError,
                               "]0;owned[2J[3Jcmodel 31mnot loaded yyy"},
                          Case{detail.dump(), MathOCRExtractor::kValidationError,
                               "Validation error: ]0;owned[2J[3Jcfield required yyy"},
                          Case{array.dump(), MathOCRExtractor::kNotAnObject,
                               "Invalid JSON. Server said: [\"\\u001b]0;owned"}}) {
        server.answer(200, c.body);
        const Error error = mathErrorOf(ask(server.url()));
        EXPECT_EQ(error.domain(), MathOCRExtractor::kErrorDomain);
        EXPECT_EQ(error.code(), c.code);
        const std::string& text = error.description();
        EXPECT_TRUE(printable(text)) << text;
        EXPECT_TRUE(text.starts_with(c.starts)) << text;
        EXPECT_LE(characters(text), 300u + 30u) << text.size();
        EXPECT_TRUE(text.ends_with("\u2026")) << text;
    }

    // The formula itself keeps its lines but nothing a terminal acts on.
    server.answer(
        200, nlohmann::json{{"latex", "x^2" + esc + "\n+ y"}, {"mathml", "<math>" + c1 + "</math>"}}
                 .dump());
    const auto formula = std::get<MathOCRResult>(ask(server.url()));
    EXPECT_EQ(formula.latex, "x^2]0;owned[2J[3Jc\n+ y");
    EXPECT_EQ(formula.mathml, "<math>31m</math>");

    // Printable Unicode stays.
    EXPECT_EQ(printableLine("Ünïcødé – ∑ 数式 \u202Egnp.exe", 300), "Ünïcødé – ∑ 数式 gnp.exe");
}

TEST(FormulaClientHardeningTest, OversizeAndNonJSONAnswersAreSaidInOurWords) {
    FormulaServer server;
    const std::string big = "{\"latex\":\"" + std::string(10u << 20, 'x') + "\"}";
    server.answer(200, big);
    Error error = mathErrorOf(ask(server.url()));
    EXPECT_EQ(error.domain(), MathOCRExtractor::kErrorDomain);
    EXPECT_EQ(error.code(), MathOCRExtractor::kAnswerTooLarge);
    EXPECT_EQ(error.description(), "The formula server's answer is too large (over 4 MB).");

    // The same without a declared length: the body is cut off as it arrives.
    httplib::Server chunked;
    chunked.Post("/extract", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "application/json", [&](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= big.size()) {
                    sink.done();
                    return true;
                }
                const std::size_t n = std::min<std::size_t>(64 * 1024, big.size() - offset);
                return sink.write(big.data() + offset, n);
            });
    });
    const int port = chunked.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { chunked.listen_after_bind(); });
    while (!chunked.is_running()) {
        std::this_thread::yield();
    }
    error = mathErrorOf(ask("http://127.0.0.1:" + std::to_string(port) + "/extract"));
    chunked.stop();
    thread.join();
    EXPECT_EQ(error.code(), MathOCRExtractor::kAnswerTooLarge) << error.description();
    EXPECT_EQ(error.description(), "The formula server's answer is too large (over 4 MB).");

    // A web server's page, and bytes that are no text at all.
    server.answer(200, "<html><head><title>502 Bad Gateway</title></head>\r\n<body>\x1b[2J"
                       "nginx</body></html>");
    error = mathErrorOf(ask(server.url()));
    EXPECT_EQ(error.domain(), MathOCRExtractor::kErrorDomain);
    EXPECT_EQ(error.code(), MathOCRExtractor::kNotJSON);
    EXPECT_EQ(error.description(), "The formula server's answer was not JSON: <html><head>"
                                   "<title>502 Bad Gateway</title></head> <body>[2Jnginx"
                                   "</body></html>");
    server.answer(200, std::string("\xff\xfe\x00\x01", 4));
    error = mathErrorOf(ask(server.url()));
    EXPECT_EQ(error.description(), "The formula server's answer was not JSON.");
    EXPECT_EQ(error.description().find("json.exception"), std::string::npos);
}
